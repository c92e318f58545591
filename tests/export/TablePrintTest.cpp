// The printed table: the tab-delimited text read back into rows, laid out in columns that
// start at the same place on every line, and the two ways it reaches a PDF (Qt's PDF writer
// for the file, our PostScript for the printer queue) read back with pdftotext.
#include "ExportTestSupport.h"
#include "platform/PostScriptTable.h"
#include "platform/TableLayout.h"
#include "platform/TextPrinting.h"

#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <map>
#include <set>

namespace tabulon::test {
namespace {

// The tab-delimited text of a header and rows, as the text export writes it.
QString tabbedText(const QStringList& header, const std::vector<QStringList>& rows)
{
    QString text;
    auto line = [&](const QStringList& cells) {
        for (const QString& cell : cells)
            text += cell + QLatin1Char('\t');
        text += QStringLiteral("\r\n");
    };
    line(header);
    for (const QStringList& row : rows)
        line(row);
    return text;
}

// --- reading the text back into rows ------------------------------------------------------

struct ParseCase {
    const char* name;
    QString text;
    std::vector<QStringList> rows;
    int columns;
};

TEST(TablePrint, TheTabbedTextGivesItsRowsAndFieldsBack)
{
    const std::vector<ParseCase> cases = {
        {"the export's own layout", QStringLiteral("id\tname\t\r\n1\tAnn\t\r\n2\t\t\r\n"),
         {{"id", "name"}, {"1", "Ann"}, {"2", ""}}, 2},
        {"header only", QStringLiteral("id\tname\t\r\n"), {{"id", "name"}}, 2},
        {"no final line break", QStringLiteral("a\tb\t\r\nx\ty"), {{"a", "b"}, {"x", "y"}}, 2},
        {"a lone LF or CR stays in its field", QStringLiteral("a\tb\t\r\none\ntwo\tx\ry\t\r\n"),
         {{"a", "b"}, {"one\ntwo", "x\ry"}}, 2},
        {"a TAB inside a cell gives the row a field more",
         QStringLiteral("a\tb\t\r\n1\tcity\t3\t\r\n"), {{"a", "b"}, {"1", "city", "3"}}, 3},
        {"nothing at all", QString(), {}, 0},
    };
    for (const ParseCase& c : cases) {
        const TextTable table = parseTabbedText(c.text);
        EXPECT_EQ(table.rows, c.rows) << c.name;
        EXPECT_EQ(table.columns, c.columns) << c.name;
    }
}

TEST(TablePrint, WidthsCountCellsOfAMonospacedFont)
{
    EXPECT_EQ(displayWidth(u"abc"), 3);
    EXPECT_EQ(displayWidth(u"Ελληνικά"), 8);
    EXPECT_EQ(displayWidth(u"e\u0301"), 1);         // e and a combining acute
    EXPECT_EQ(displayWidth(u"\u4E2D\u6587"), 4);    // two wide characters
    EXPECT_EQ(displayWidth(u"\U0001F600"), 2);      // one character, two UTF-16 units
}

// --- layout -------------------------------------------------------------------------------

// A4 inside 15 mm margins, 9 pt Liberation Mono (0.6 em), 10.8 pt lines.
PageMetrics a4()
{
    return {595.28 - 2 * 42.52, 841.89 - 2 * 42.52, 0.6 * 9, 1.2 * 9};
}

struct Placed {
    int x;
    int width;
};

// Where each column's segments start, and checks that every page is well formed: the header
// first, every segment inside its column.
std::map<int, std::set<int>> columnStarts(const TableLayout& layout)
{
    std::map<int, std::set<int>> starts;
    for (const TablePage& page : layout.pages) {
        EXPECT_LE(int(page.lines.size()), layout.linesPerPage);
        for (const TableLine& line : page.lines) {
            int end = -kColumnGap;
            for (const TableSegment& s : line.segments) {
                starts[s.column].insert(s.x);
                EXPECT_LE(displayWidth(s.text), s.width) << s.text.toStdString();
                EXPECT_GE(s.x, end + kColumnGap) << "a column reaches into the next";
                EXPECT_LE(s.x + s.width, layout.charsPerLine);
                end = s.x + s.width;
            }
        }
    }
    return starts;
}

TEST(TablePrint, EachColumnStartsAtTheSamePlaceOnEveryLineAfterTheWidestTextBeforeIt)
{
    std::vector<QStringList> rows;
    for (int i = 1; i <= 200; ++i)
        rows.push_back({QString::number(i), QStringLiteral("name %1").arg(i), QStringLiteral("x")});
    rows[7][1] = QStringLiteral("a rather longer name");
    const QStringList header{QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("z")};
    const TableLayout layout = layoutTable(parseTabbedText(tabbedText(header, rows)), a4());

    EXPECT_FALSE(layout.landscape);
    EXPECT_EQ(layout.columnGroups, 1);
    const auto starts = columnStarts(layout);
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts.at(0), std::set<int>{0});
    EXPECT_EQ(starts.at(1), std::set<int>{3 + kColumnGap});                  // after "200"
    EXPECT_EQ(starts.at(2), std::set<int>{3 + kColumnGap + 20 + kColumnGap}); // after the long name
    ASSERT_GT(layout.pages.size(), 1u);
    for (const TablePage& page : layout.pages) {
        ASSERT_EQ(page.headerLines, 1);
        ASSERT_EQ(page.lines[0].segments.size(), 3u);
        EXPECT_EQ(page.lines[0].segments[1].text, QStringLiteral("name"));
    }
    // Every row once, in order.
    int next = 1;
    for (const TablePage& page : layout.pages)
        for (std::size_t l = std::size_t(page.headerLines); l < page.lines.size(); ++l)
            EXPECT_EQ(page.lines[l].segments[0].text, QString::number(next++));
    EXPECT_EQ(next, 201);
}

TEST(TablePrint, AWideTableTurnsToLandscapeAndATooWideOneWrapsItsLongestColumns)
{
    const QStringList header{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    const QString forty = QString(40, QLatin1Char('x'));
    // 3 x 40 + gaps = 124 cells: wider than portrait A4 (94 cells), narrower than landscape.
    const TableLayout wide = layoutTable(
        parseTabbedText(tabbedText(header, {{forty, forty, forty}})), a4());
    EXPECT_TRUE(wide.landscape);
    EXPECT_GT(wide.charsPerLine, 124);
    EXPECT_EQ(wide.pages[0].lines.size(), 2u) << "no cell wrapped";

    // A 600-character cell beside two short ones: those keep their width, the long one wraps
    // at blanks inside its column, and nothing is lost.
    QString story;
    for (int i = 0; i < 100; ++i)
        story += QStringLiteral("word%1 ").arg(i % 10);
    story = story.trimmed();
    const TableLayout wrapped = layoutTable(
        parseTabbedText(tabbedText(header, {{QStringLiteral("1"), story, QStringLiteral("end")}})),
        a4());
    columnStarts(wrapped);
    QString joined;
    int lines = 0;
    for (const TablePage& page : wrapped.pages)
        for (std::size_t l = std::size_t(page.headerLines); l < page.lines.size(); ++l)
            for (const TableSegment& s : page.lines[l].segments)
                if (s.column == 1) {
                    joined += s.text;
                    ++lines;
                    EXPECT_FALSE(s.text.startsWith(QLatin1Char(' '))) << "broken at blanks";
                }
    EXPECT_GT(lines, 4);
    EXPECT_EQ(joined.remove(QLatin1Char(' ')), QString(story).remove(QLatin1Char(' ')));
    const TableLine& first = wrapped.pages[0].lines[1];
    ASSERT_EQ(first.segments.size(), 3u);
    EXPECT_EQ(first.segments[2].text, QStringLiteral("end"));
}

TEST(TablePrint, ColumnsThatCannotShareAPageComeInGroupsEachWithItsHeader)
{
    QStringList header;
    QStringList row;
    for (int c = 0; c < 30; ++c) {
        header << QStringLiteral("c%1").arg(c, 2, 10, QLatin1Char('0'));
        row << QStringLiteral("value %1 of a row").arg(c);
    }
    const TableLayout layout =
        layoutTable(parseTabbedText(tabbedText(header, {row, row})), a4());
    EXPECT_TRUE(layout.landscape);
    EXPECT_GT(layout.columnGroups, 1);
    columnStarts(layout);
    std::set<int> printed;
    for (const TablePage& page : layout.pages) {
        ASSERT_EQ(page.headerLines, 1);
        for (const TableSegment& s : page.lines[0].segments) {
            EXPECT_EQ(s.text, header.at(s.column).left(s.width));
            printed.insert(s.column);
        }
    }
    EXPECT_EQ(printed.size(), 30u) << "every column is printed";
}

// --- the two PDFs, read back --------------------------------------------------------------

QStringList sampleHeader()
{
    return {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("city"),
            QStringLiteral("note")};
}

// Accents, Greek and Cyrillic (Liberation Mono has them), a NULL, and a long note that wraps.
std::vector<QStringList> sampleRows()
{
    std::vector<QStringList> rows = {
        {QStringLiteral("1"), QStringLiteral("Zoë Ångström"), QStringLiteral("Αθήνα"),
         QStringLiteral("café crème")},
        {QStringLiteral("2"), QStringLiteral("Иван"), QString(), QStringLiteral("NULL city")},
        {QStringLiteral("3"), QStringLiteral("Ελληνικά"), QStringLiteral("Θεσσαλονίκη"),
         QStringLiteral("short")},
    };
    for (int i = 4; i <= 130; ++i)
        rows.push_back({QString::number(i), QStringLiteral("name %1").arg(i),
                        QStringLiteral("city %1").arg(i % 7), QStringLiteral("n")});
    return rows;
}

// The checks both PDFs must pass: every row at its columns, the header on every page, pages
// numbered.
void expectReadsAsATable(const QString& pdf, int pages)
{
    ASSERT_GT(pages, 1);
    const QString failure = pdfTableFailure(pdf, sampleHeader(), sampleRows(), pages);
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
}

TEST(TablePrint, TheFilePdfReadsAsATableWithItsText)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("table.pdf"));
    ASSERT_TRUE(writeTextTablePdf(tabbedText(sampleHeader(), sampleRows()), pdf,
                                  QStringLiteral("People"))
                    .isEmpty());
    const int pages = pdfPageCount(pdf);
    EXPECT_EQ(pages, int(textTableLayout(tabbedText(sampleHeader(), sampleRows()),
                                         tablePageLayout())
                             .pages.size()));
    expectReadsAsATable(pdf, pages);
}

TEST(TablePrint, TheFilePdfTurnsToLandscapeForAWideTable)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("wide.pdf"));
    const QString forty = QString(40, QLatin1Char('w'));
    ASSERT_TRUE(writeTextTablePdf(tabbedText({QStringLiteral("a"), QStringLiteral("b"),
                                              QStringLiteral("c")},
                                             {{forty, forty, forty}}),
                                  pdf, QStringLiteral("Wide"))
                    .isEmpty());
    const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {pdf}).out);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size: +([0-9.]+) x ([0-9.]+)")).match(info);
    ASSERT_TRUE(size.hasMatch()) << info.toStdString();
    EXPECT_GT(size.captured(1).toDouble(), size.captured(2).toDouble()) << "landscape";
    const QString failure = tableRowsFailure(
        pdfTextLines(pdf), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
        {{forty, forty, forty}});
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
}

// The queue's job, turned into PDF by Ghostscript as cups-pdf does (at PDF 1.4, which the
// job asks it for).
TEST(TablePrint, ThePostScriptForTheQueueKeepsItsTextThroughGhostscript)
{
    const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
    if (gs.isEmpty())
        GTEST_SKIP() << "Ghostscript is not installed";
    const QString fontFile = findTableFontFile();
    ASSERT_FALSE(fontFile.isEmpty()) << "fonts-liberation is not installed";
    QString why;
    const std::optional<TrueTypeFont> font = TrueTypeFont::load(fontFile, &why);
    ASSERT_TRUE(font.has_value()) << why.toStdString();
    EXPECT_NEAR(font->advanceEm(), 0.6, 0.01);
    EXPECT_NE(font->glyphFor(U'Ω'), 0);
    EXPECT_EQ(font->glyphFor(U'\u4E2D'), 0) << "Liberation Mono has no CJK";

    const QPageLayout page = tablePageLayout();
    const TableLayout layout =
        layoutTable(parseTabbedText(tabbedText(sampleHeader(), sampleRows())),
                    tablePageMetrics(page, font->advanceEm()));
    QTemporaryDir dir;
    const QString ps = dir.filePath(QStringLiteral("job.ps"));
    QFile out(ps);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    std::vector<int> progress;
    const int pages = writeTablePostScript(
        layout, *font, page.pageSize().size(QPageSize::Point), QStringLiteral("People (Ω)"),
        [&](const QByteArray& piece) { return out.write(piece) == piece.size(); },
        [&](int done, int) {
            progress.push_back(done);
            return true;
        });
    out.close();
    ASSERT_EQ(pages, int(layout.pages.size()));
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), pages);
    const QByteArray job = readAll(ps);
    EXPECT_TRUE(job.startsWith("%!PS-Adobe-3.0\n%%Title: (People \\(")) << job.left(80).toStdString();
    EXPECT_TRUE(job.contains("\n%%Pages: " + QByteArray::number(pages) + "\n"));

    const QString pdf = dir.filePath(QStringLiteral("job.pdf"));
    const ProcessResult converted =
        run(gs, {QStringLiteral("-q"), QStringLiteral("-dCompatibilityLevel=1.4"),
                 QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"), QStringLiteral("-dSAFER"),
                 QStringLiteral("-sDEVICE=pdfwrite"), QStringLiteral("-sOutputFile=") + pdf,
                 QStringLiteral("-dAutoRotatePages=/PageByPage"),
                 QStringLiteral("-dPDFSETTINGS=/prepress"), ps});
    ASSERT_EQ(converted.exitCode, 0) << converted.err.toStdString();
    EXPECT_EQ(pdfPageCount(pdf), pages);
    expectReadsAsATable(pdf, pages);

    // A stopped job stops at the page it was on.
    int calls = 0;
    EXPECT_EQ(writeTablePostScript(
                  layout, *font, page.pageSize().size(QPageSize::Point), QStringLiteral("x"),
                  [](const QByteArray&) { return true; }, [&](int, int) { return ++calls < 2; }),
              -1);
    EXPECT_EQ(calls, 2);
}

TEST(TablePrint, ABrokenFontFileIsRefusedWithAReason)
{
    QString why;
    EXPECT_FALSE(TrueTypeFont::fromData(QByteArray("not a font at all"), &why).has_value());
    EXPECT_TRUE(why.startsWith(QStringLiteral("The font cannot be embedded"))) << why.toStdString();
    QByteArray cut = readAll(findTableFontFile()).left(400);
    if (!cut.isEmpty()) {
        EXPECT_FALSE(TrueTypeFont::fromData(cut, &why).has_value());
    }
}

} // namespace
} // namespace tabulon::test
