// The XML export, read back by a real XML parser (libxml2): the file parses, its root is <xml>,
// it holds one <row> per row and in each one element per column, named after the column's
// caption (characters that may not stand in a name as _xHHHH_), holding the cell's text. A
// character XML cannot hold at all (most C0 controls, U+FFFE, U+FFFF) comes back as U+FFFD;
// everything else, CR and blanks included, comes back exactly.

#include "FuzzSupport.h"

#include "export/GridWriters.h"

#include <QFile>
#include <QRegularExpression>

#include <libxml/parser.h>
#include <libxml/tree.h>

namespace {

using tabulon::fuzz::show;

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

QString asXmlHoldsIt(const QString& text)
{
    QString out;
    for (const char32_t c : text.toUcs4())
        out += isXmlChar(c) ? QString::fromUcs4(&c, 1) : QString(QChar(0xFFFD));
    return out;
}

// _xHHHH_ and _xHHHHHHHH_ back to their characters.
QString decodeName(const QString& name)
{
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{8}|[0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype at = 0;
    for (auto it = escape.globalMatch(name); it.hasNext();) {
        const auto m = it.next();
        out += name.mid(at, m.capturedStart() - at);
        const char32_t c = char32_t(m.captured(1).toUInt(nullptr, 16));
        out += QString::fromUcs4(&c, 1);
        at = m.capturedEnd();
    }
    return out + name.mid(at);
}

QString textOf(xmlNode* element)
{
    xmlChar* content = xmlNodeGetContent(element);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(content));
    xmlFree(content);
    return text;
}

std::vector<xmlNode*> elementsIn(xmlNode* parent)
{
    std::vector<xmlNode*> out;
    for (xmlNode* n = parent->children; n; n = n->next) {
        if (n->type == XML_ELEMENT_NODE) {
            out.push_back(n);
        } else if (n->type == XML_TEXT_NODE) {
            const QString between = textOf(n);
            FUZZ_REQUIRE(between.trimmed().isEmpty(), "text between the elements: " + show(between));
        } else {
            FUZZ_REQUIRE(false, "a node that is neither element nor text");
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const tabulon::fuzz::TextGrid grid = tabulon::fuzz::gridFrom(in);
    static tabulon::fuzz::Context context;
    const QString file = tabulon::fuzz::scratch().filePath(QStringLiteral("grid.xml"));
    FUZZ_REQUIRE(tabulon::SaveDataGridToXMLFile(context.ctx, grid, file) == tabulon::ExportResult::Written, "not written");

    QFile f(file);
    FUZZ_REQUIRE(f.open(QIODevice::ReadOnly), "cannot read the file back");
    const QByteArray bytes = f.readAll();
    FUZZ_REQUIRE(!bytes.endsWith('\n'), "a line end after </xml>");

    xmlDoc* doc = xmlReadMemory(bytes.constData(), int(bytes.size()), "grid.xml", "UTF-8", XML_PARSE_NONET);
    FUZZ_REQUIRE(doc != nullptr, "libxml2 does not accept the file");
    xmlNode* root = xmlDocGetRootElement(doc);
    FUZZ_REQUIRE(root && QString::fromUtf8(reinterpret_cast<const char*>(root->name)) == QStringLiteral("xml"), "root");
    const std::vector<xmlNode*> rows = elementsIn(root);
    FUZZ_REQUIRE(rows.size() == grid.rows.size(), "rows: " + std::to_string(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        FUZZ_REQUIRE(QString::fromUtf8(reinterpret_cast<const char*>(rows[r]->name)) == QStringLiteral("row"), "<row>");
        const std::vector<xmlNode*> cells = elementsIn(rows[r]);
        FUZZ_REQUIRE(int(cells.size()) == grid.columnCount(), "cells in row " + std::to_string(r));
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const QString caption = grid.captions.at(qsizetype(c));
            const QString name = QString::fromUtf8(reinterpret_cast<const char*>(cells[c]->name));
            FUZZ_REQUIRE(decodeName(name) == (caption.isEmpty() ? QStringLiteral("_") : caption),
                        "the element " + show(name) + " for the caption " + show(caption));
            const QString expected = asXmlHoldsIt(grid.rows[r].at(qsizetype(c)));
            const QString text = textOf(cells[c]);
            FUZZ_REQUIRE(text == expected, "the cell " + show(expected) + " reads back as " + show(text));
        }
    }
    xmlFreeDoc(doc);
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    xmlInitParser();
    return 0;
}
