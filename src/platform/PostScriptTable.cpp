#include "PostScriptTable.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <map>
#include <set>

namespace tabulon {

namespace {

constexpr quint32 tag(const char (&name)[5])
{
    return (quint32(quint8(name[0])) << 24) | (quint32(quint8(name[1])) << 16) |
           (quint32(quint8(name[2])) << 8) | quint32(quint8(name[3]));
}

// A PostScript string holds at most 65535 bytes; the Type 42 pieces stay well below.
constexpr qsizetype kPieceLimit = 65000;

class Reader {
public:
    explicit Reader(const QByteArray& data) : data_(data) {}
    bool has(qsizetype at, qsizetype size) const
    {
        return at >= 0 && size >= 0 && at + size <= data_.size();
    }
    quint16 u16(qsizetype at) const
    {
        if (!has(at, 2))
            throw std::out_of_range("font");
        return quint16((quint8(data_[at]) << 8) | quint8(data_[at + 1]));
    }
    qint16 s16(qsizetype at) const { return qint16(u16(at)); }
    quint32 u32(qsizetype at) const { return (quint32(u16(at)) << 16) | u16(at + 2); }

private:
    const QByteArray& data_;
};

QByteArray glyphName(char32_t c)
{
    if (c <= 0xFFFF)
        return QByteArray("uni") + QByteArray::number(uint(c), 16).toUpper().rightJustified(4, '0');
    return QByteArray("u") + QByteArray::number(uint(c), 16).toUpper().rightJustified(5, '0');
}

QByteArray number(double value)
{
    return QByteArray::number(value, 'f', 2);
}

// A PostScript string literal of printable ASCII for the document comments.
QByteArray commentText(const QString& text)
{
    QByteArray out = "(";
    for (const char c : text.toUtf8()) {
        const auto u = quint8(c);
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        if (u >= 0x20 && u != 0x7F)
            out += c;
    }
    return out + ')';
}

void appendHex(QByteArray& out, const QByteArray& bytes, int perLine)
{
    static const char digits[] = "0123456789ABCDEF";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (perLine > 0 && i > 0 && i % perLine == 0)
            out += '\n';
        const auto b = quint8(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
}

// Which of the program's fonts (each a copy of the one font with its own 255 codes) shows
// each character, and under which code.
struct Encodings {
    std::map<char32_t, std::pair<int, quint8>> codes;
    std::vector<std::vector<char32_t>> fonts;

    void add(char32_t c)
    {
        if (codes.count(c))
            return;
        if (fonts.empty() || fonts.back().size() == 255)
            fonts.emplace_back();
        fonts.back().push_back(c);
        codes[c] = {int(fonts.size() - 1), quint8(fonts.back().size())};
    }
    void addAll(const QString& text)
    {
        forEachCodePoint(text, [&](char32_t c, qsizetype, qsizetype) { add(c); });
    }
};

// "F1 setfont <48656C6C6F> show" for the runs of one text.
QByteArray showText(const QString& text, const Encodings& encodings)
{
    QByteArray out;
    int font = -1;
    QByteArray run;
    auto flush = [&] {
        if (run.isEmpty())
            return;
        out += " F" + QByteArray::number(font) + " setfont <";
        appendHex(out, run, 0);
        out += "> show";
        run.clear();
    };
    forEachCodePoint(text, [&](char32_t c, qsizetype, qsizetype) {
        const auto [which, code] = encodings.codes.at(c);
        if (which != font) {
            flush();
            font = which;
        }
        run += char(code);
    });
    flush();
    return out;
}

} // namespace

std::optional<TrueTypeFont> TrueTypeFont::load(const QString& path, QString* why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("The font file \"%1\" could not be read: %2")
                       .arg(path, file.errorString());
        return std::nullopt;
    }
    return fromData(file.readAll(), why);
}

std::optional<TrueTypeFont> TrueTypeFont::fromData(QByteArray data, QString* why)
{
    TrueTypeFont font;
    font.data_ = std::move(data);
    const Reader r(font.data_);
    try {
        const quint32 version = r.u32(0);
        if (version != 0x00010000 && version != tag("true"))
            throw std::runtime_error("not a TrueType font with glyph outlines");
        const int count = r.u16(4);
        for (int i = 0; i < count; ++i) {
            const qsizetype entry = 12 + 16 * qsizetype(i);
            const Table table{r.u32(entry + 8), r.u32(entry + 12)};
            if (!r.has(table.offset, table.length))
                throw std::runtime_error("a table lies outside the file");
            font.tables_[r.u32(entry)] = table;
        }
        for (const quint32 needed : {tag("cmap"), tag("head"), tag("hhea"), tag("hmtx"),
                                     tag("loca"), tag("glyf"), tag("maxp")})
            if (!font.tables_.count(needed))
                throw std::runtime_error("a table the font needs is missing");

        const quint32 head = font.tables_[tag("head")].offset;
        const double unitsPerEm = std::max<int>(16, r.u16(head + 18));
        const bool longOffsets = r.s16(head + 50) != 0;
        const quint32 hhea = font.tables_[tag("hhea")].offset;
        font.ascentEm_ = r.s16(hhea + 4) / unitsPerEm;
        font.descentEm_ = -r.s16(hhea + 6) / unitsPerEm;
        const int metrics = std::max<int>(1, r.u16(hhea + 34));
        const int glyphCount = r.u16(font.tables_[tag("maxp")].offset + 4);

        // Characters to glyphs: the Unicode subtables, the full one (format 12) first.
        const quint32 cmap = font.tables_[tag("cmap")].offset;
        const int subtables = r.u16(cmap + 2);
        std::vector<quint32> format4, format12;
        for (int i = 0; i < subtables; ++i) {
            const qsizetype entry = cmap + 4 + 8 * qsizetype(i);
            const int platform = r.u16(entry);
            const int encoding = r.u16(entry + 2);
            const quint32 at = cmap + r.u32(entry + 4);
            const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
            if (!unicode)
                continue;
            const int format = r.u16(at);
            if (format == 12)
                format12.push_back(at);
            else if (format == 4)
                format4.push_back(at);
        }
        if (!format12.empty()) {
            const quint32 at = format12.front();
            const quint32 groups = r.u32(at + 12);
            for (quint32 g = 0; g < groups; ++g) {
                const qsizetype entry = at + 16 + 12 * qsizetype(g);
                const quint32 first = r.u32(entry);
                const quint32 last = std::min<quint32>(r.u32(entry + 4), 0x10FFFF);
                const quint32 glyph = r.u32(entry + 8);
                for (quint32 c = first; c <= last && c - first < 0x10000; ++c)
                    if (glyph + (c - first) < quint32(glyphCount))
                        font.glyphs_[char32_t(c)] = quint16(glyph + (c - first));
            }
        } else if (!format4.empty()) {
            const quint32 at = format4.front();
            const int segments = r.u16(at + 6) / 2;
            const qsizetype ends = at + 14;
            const qsizetype starts = ends + 2 * qsizetype(segments) + 2;
            const qsizetype deltas = starts + 2 * qsizetype(segments);
            const qsizetype rangeOffsets = deltas + 2 * qsizetype(segments);
            for (int s = 0; s < segments; ++s) {
                const int last = r.u16(ends + 2 * s);
                const int first = r.u16(starts + 2 * s);
                const int delta = r.s16(deltas + 2 * s);
                const int rangeOffset = r.u16(rangeOffsets + 2 * s);
                for (int c = first; c <= last && c != 0xFFFF; ++c) {
                    int glyph;
                    if (rangeOffset == 0) {
                        glyph = (c + delta) & 0xFFFF;
                    } else {
                        glyph = r.u16(rangeOffsets + 2 * s + rangeOffset + 2 * (c - first));
                        if (glyph != 0)
                            glyph = (glyph + delta) & 0xFFFF;
                    }
                    if (glyph > 0 && glyph < glyphCount)
                        font.glyphs_[char32_t(c)] = quint16(glyph);
                }
            }
        } else {
            throw std::runtime_error("the font has no Unicode character map");
        }

        const quint16 m = font.glyphFor(U'M');
        const quint32 hmtx = font.tables_[tag("hmtx")].offset;
        font.advanceEm_ = r.u16(hmtx + 4 * qsizetype(std::min<int>(m, metrics - 1))) / unitsPerEm;

        const Table loca = font.tables_[tag("loca")];
        for (int g = 0; g <= glyphCount; ++g)
            font.glyphOffsets_.push_back(longOffsets ? r.u32(loca.offset + 4 * qsizetype(g))
                                                     : quint32(r.u16(loca.offset + 2 * qsizetype(g))) * 2);
    } catch (const std::exception& e) {
        if (why)
            *why = QStringLiteral("The font cannot be embedded: %1").arg(QString::fromUtf8(e.what()));
        return std::nullopt;
    }
    return font;
}

quint16 TrueTypeFont::glyphFor(char32_t c) const
{
    const auto found = glyphs_.find(c);
    return found == glyphs_.end() ? 0 : found->second;
}

QList<QByteArray> TrueTypeFont::sfntPieces() const
{
    // Where a piece may start: the table directory, every table, and inside the glyph table
    // every glyph.
    std::set<quint32> starts{0};
    for (const auto& [name, table] : tables_)
        starts.insert(table.offset);
    const Table glyf = tables_.at(tag("glyf"));
    for (const quint32 offset : glyphOffsets_)
        if (offset < glyf.length)
            starts.insert(glyf.offset + offset);
    starts.insert(quint32(data_.size()));

    QList<QByteArray> pieces;
    quint32 pieceStart = 0;
    quint32 previous = 0;
    for (const quint32 at : starts) {
        if (at == 0)
            continue;
        if (at - pieceStart > kPieceLimit && previous > pieceStart) {
            pieces << data_.mid(pieceStart, previous - pieceStart);
            pieceStart = previous;
        }
        previous = at;
    }
    if (previous > pieceStart)
        pieces << data_.mid(pieceStart, previous - pieceStart);
    return pieces;
}

QString findTableFontFile()
{
    QStringList places{QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf"),
                       QStringLiteral("/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf")};
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::FontsLocation))
        places << folder + QStringLiteral("/LiberationMono-Regular.ttf");
    for (const QString& place : places)
        if (QFileInfo(place).isFile())
            return place;
    return {};
}

int writeTablePostScript(const TableLayout& layout, const TrueTypeFont& font, const QSizeF& media,
                         const QString& title, const std::function<bool(const QByteArray&)>& write,
                         const PaintProgress& progress)
{
    const int pages = int(layout.pages.size());
    Encodings encodings;
    for (const TablePage& page : layout.pages)
        for (const TableLine& line : page.lines)
            for (const TableSegment& segment : line.segments)
                encodings.addAll(segment.text);
    encodings.addAll(pageNumberText(pages - 1, pages) + QStringLiteral("0123456789"));

    const double size = kTableFontPoints;
    const double cell = font.advanceEm() * size;
    const double lineHeight = kTableLineFactor * size;
    const double baseline = (lineHeight - (font.ascentEm() + font.descentEm()) * size) / 2 +
                            font.ascentEm() * size;
    const double margin = kTableMarginMm * 72.0 / 25.4;
    const double width = std::min(media.width(), media.height());
    const double height = std::max(media.width(), media.height());

    QByteArray out;
    out += "%!PS-Adobe-3.0\n%%Title: " + commentText(title) + "\n";
    out += "%%Creator: Tabulon\n%%Pages: " + QByteArray::number(pages) + "\n";
    out += "%%BoundingBox: 0 0 " + QByteArray::number(qRound(width)) + ' ' +
           QByteArray::number(qRound(height)) + "\n";
    out += "%%Orientation: " + QByteArray(layout.landscape ? "Landscape" : "Portrait") + "\n";
    out += "%%DocumentNeededResources: \n%%EndComments\n%%BeginProlog\n";
    out += "%%BeginResource: font TabulonTableFont\n";
    out += "12 dict begin\n/FontName /TabulonTableFont def\n/FontType 42 def\n/PaintType 0 def\n";
    out += "/FontMatrix [1 0 0 1 0 0] def\n/FontBBox [0 0 0 0] def\n";
    out += "/Encoding 256 array def 0 1 255 { Encoding exch /.notdef put } for\n";
    out += "/CharStrings " + QByteArray::number(qsizetype(encodings.codes.size()) + 1) +
           " dict dup begin\n/.notdef 0 def\n";
    for (const auto& [c, where] : encodings.codes)
        out += '/' + glyphName(c) + ' ' + QByteArray::number(font.glyphFor(c)) + " def\n";
    out += "end def\n/sfnts [\n";
    if (!write(out))
        return 0;
    out.clear();
    for (const QByteArray& piece : font.sfntPieces()) {
        QByteArray padded = piece;
        if (padded.size() % 2 != 0)
            padded += '\0';
        padded += '\0'; // the odd last byte of each string is not font data
        out += '<';
        appendHex(out, padded, 40);
        out += ">\n";
        if (!write(out))
            return 0;
        out.clear();
    }
    out += "] def\nFontName currentdict end definefont pop\n%%EndResource\n";
    // One copy of the font per 255 characters, each with its own codes.
    for (std::size_t f = 0; f < encodings.fonts.size(); ++f) {
        out += "/TabulonTable" + QByteArray::number(qsizetype(f)) +
               " /TabulonTableFont findfont dup length dict begin\n"
               "{ 1 index /FID ne { def } { pop pop } ifelse } forall\n/Encoding [";
        out += "/.notdef";
        for (const char32_t c : encodings.fonts[f])
            out += " /" + glyphName(c);
        for (std::size_t rest = encodings.fonts[f].size() + 1; rest < 256; ++rest)
            out += " /.notdef";
        out += "] def\ncurrentdict end definefont pop\n";
    }
    out += "%%EndProlog\n%%BeginSetup\n";
    for (std::size_t f = 0; f < encodings.fonts.size(); ++f)
        out += "/F" + QByteArray::number(qsizetype(f)) + " /TabulonTable" +
               QByteArray::number(qsizetype(f)) + " findfont " + number(size) +
               " scalefont def\n";
    out += "%%EndSetup\n";
    if (!write(out))
        return 0;

    const double across = layout.landscape ? height : width;
    const double down = layout.landscape ? width : height;
    const double areaWidth = across - 2 * margin;
    const double top = down - margin;
    for (int p = 0; p < pages; ++p) {
        if (progress && !progress(p, pages))
            return -1;
        out.clear();
        const QByteArray n = QByteArray::number(p + 1);
        out += "%%Page: " + n + ' ' + n + "\n%%PageOrientation: " +
               QByteArray(layout.landscape ? "Landscape" : "Portrait") + "\n";
        out += "%%BeginPageSetup\n/tabulonpage save def\n%%EndPageSetup\n";
        if (layout.landscape)
            out += number(width) + " 0 translate 90 rotate\n";
        const TablePage& page = layout.pages[std::size_t(p)];
        double y = top;
        for (const TableLine& line : page.lines) {
            for (const TableSegment& segment : line.segments)
                out += number(margin + segment.x * cell) + ' ' + number(y - baseline) + " moveto" +
                       showText(segment.text, encodings) + '\n';
            y -= lineHeight;
        }
        if (page.headerLines > 0) {
            const double ruleY = top - page.headerLines * lineHeight + lineHeight * 0.1;
            out += "0.5 setlinewidth " + number(margin) + ' ' + number(ruleY) + " moveto " +
                   number(margin + headerEnd(page) * cell) + ' ' + number(ruleY) + " lineto stroke\n";
        }
        const QString footer = pageNumberText(p, pages);
        out += number(margin + (areaWidth - displayWidth(footer) * cell) / 2) + ' ' +
               number(margin + lineHeight - baseline) + " moveto" + showText(footer, encodings) +
               '\n';
        out += "tabulonpage restore\nshowpage\n";
        if (!write(out))
            return 0;
    }
    if (progress)
        progress(pages, pages);
    if (!write("%%Trailer\n%%EOF\n"))
        return 0;
    return pages;
}

} // namespace tabulon
