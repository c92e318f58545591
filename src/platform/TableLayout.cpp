#include "TableLayout.h"

#include <algorithm>
#include <numeric>

namespace tabulon {

namespace {

// Narrowing stops at this width, or at the column's own width when that is less.
constexpr int kNarrowestColumn = 8;
// Once the columns come in groups, each is given up to this width.
constexpr int kGroupedColumn = 20;

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

int cellsOf(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
        c == 0x200B || c == 0x200D)
        return 0;
    return isWide(c) ? 2 : 1;
}

// The lines of one field: its own line breaks (CR LF, lone CR, lone LF) end lines.
QStringList fieldLines(const QString& field)
{
    if (!field.contains(QLatin1Char('\r')) && !field.contains(QLatin1Char('\n')))
        return {field};
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << field.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < field.size() && field.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    lines << field.mid(start);
    return lines;
}

int fieldWidth(const QString& field)
{
    int widest = 0;
    for (const QString& line : fieldLines(field))
        widest = std::max(widest, displayWidth(line));
    return widest;
}

// Splits one line of text into pieces of at most `width` cells, preferring to break after a
// blank in the second half of a piece. A character wider than the column still gets a piece.
void wrapInto(const QString& line, int width, QStringList& out)
{
    if (displayWidth(line) <= width) {
        out << line;
        return;
    }
    qsizetype start = 0;
    while (start < line.size()) {
        int used = 0;
        qsizetype end = start;
        qsizetype lastBlank = -1;
        int usedAtBlank = 0;
        bool full = false;
        forEachCodePoint(QStringView(line).mid(start), [&](char32_t c, qsizetype at, qsizetype units) {
            if (full)
                return;
            const int cells = cellsOf(c);
            if (used + cells > width && end > start) {
                full = true;
                return;
            }
            used += cells;
            end = start + at + units;
            if (c == U' ') {
                lastBlank = end;
                usedAtBlank = used;
            }
        });
        if (end < line.size() && lastBlank > start && usedAtBlank * 2 >= width)
            end = lastBlank;
        out << line.mid(start, end - start);
        start = end;
    }
}

QStringList wrapField(const QString& field, int width)
{
    QStringList out;
    for (const QString& line : fieldLines(field))
        wrapInto(line, width, out);
    return out;
}

// Widths of the columns of one group on `chars` cells: all as wide as their widest text when
// that fits, else the widest ones cut to the same cap, as wide as the room allows.
std::vector<int> fitWidths(const std::vector<int>& natural, int chars)
{
    const int gaps = kColumnGap * int(natural.size() > 0 ? natural.size() - 1 : 0);
    const int room = std::max(1, chars - gaps);
    if (std::accumulate(natural.begin(), natural.end(), 0) <= room)
        return natural;
    auto total = [&](int cap) {
        int sum = 0;
        for (int w : natural)
            sum += std::min(w, std::max(cap, std::min(w, kNarrowestColumn)));
        return sum;
    };
    int low = 1;
    int high = *std::max_element(natural.begin(), natural.end());
    while (low < high) { // the largest cap that fits
        const int mid = (low + high + 1) / 2;
        if (total(mid) <= room)
            low = mid;
        else
            high = mid - 1;
    }
    std::vector<int> widths;
    for (int w : natural)
        widths.push_back(std::min(w, std::max(low, std::min(w, kNarrowestColumn))));
    // A lone column wider than the page gets the page.
    if (widths.size() == 1)
        widths[0] = std::min(widths[0], room);
    return widths;
}

// Splits the columns into groups that fit on one line with each column at most
// kGroupedColumn cells wide: fewer columns on a page, and less wrapping inside them.
std::vector<std::vector<int>> columnGroups(const std::vector<int>& natural, int chars)
{
    std::vector<std::vector<int>> groups(1);
    int used = 0;
    for (int column = 0; column < int(natural.size()); ++column) {
        const int least = std::min(natural[std::size_t(column)], kGroupedColumn);
        const int need = (groups.back().empty() ? 0 : kColumnGap) + least;
        if (!groups.back().empty() && used + need > chars) {
            groups.emplace_back();
            used = 0;
        }
        used += (groups.back().empty() ? 0 : kColumnGap) + least;
        groups.back().push_back(column);
    }
    return groups;
}

int neededWidth(const std::vector<int>& natural)
{
    if (natural.empty())
        return 0;
    return std::accumulate(natural.begin(), natural.end(), 0) +
           kColumnGap * int(natural.size() - 1);
}

// The printed lines of one row in one group of columns.
std::vector<TableLine> rowLines(const QStringList& row, const std::vector<int>& group,
                                const std::vector<int>& widths, const std::vector<int>& xs)
{
    std::vector<QStringList> pieces;
    std::size_t height = 1;
    for (std::size_t i = 0; i < group.size(); ++i) {
        const int column = group[i];
        const QString field = column < row.size() ? row.at(column) : QString();
        pieces.push_back(wrapField(field, widths[i]));
        height = std::max<std::size_t>(height, std::size_t(pieces.back().size()));
    }
    std::vector<TableLine> lines(height);
    for (std::size_t i = 0; i < group.size(); ++i)
        for (qsizetype l = 0; l < pieces[i].size(); ++l)
            if (!pieces[i].at(l).isEmpty())
                lines[std::size_t(l)].segments.push_back(
                    {group[i], xs[i], widths[i], pieces[i].at(l)});
    return lines;
}

} // namespace

TextTable parseTabbedText(const QString& text)
{
    TextTable table;
    const qsizetype size = text.size();
    qsizetype start = 0;
    auto addRow = [&](qsizetype from, qsizetype to) {
        QStringList fields;
        qsizetype fieldStart = from;
        for (qsizetype i = from; i < to; ++i) {
            if (text.at(i) == QLatin1Char('\t')) {
                fields << text.mid(fieldStart, i - fieldStart);
                fieldStart = i + 1;
            }
        }
        if (fieldStart < to)
            fields << text.mid(fieldStart, to - fieldStart);
        table.columns = std::max(table.columns, int(fields.size()));
        table.rows.push_back(std::move(fields));
    };
    for (qsizetype i = 0; i + 1 < size; ++i) {
        if (text.at(i) == QLatin1Char('\r') && text.at(i + 1) == QLatin1Char('\n')) {
            addRow(start, i);
            start = i + 2;
            ++i;
        }
    }
    if (start < size)
        addRow(start, size);
    return table;
}

int displayWidth(QStringView text)
{
    int width = 0;
    forEachCodePoint(text, [&](char32_t c, qsizetype, qsizetype) { width += cellsOf(c); });
    return width;
}

QString pageNumberText(int page, int pages)
{
    return QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages);
}

TableLayout layoutTable(const TextTable& table, const PageMetrics& metrics)
{
    TableLayout layout;
    const double charWidth = std::max(0.1, metrics.charWidth);
    const double lineHeight = std::max(0.1, metrics.lineHeight);
    auto charsOn = [&](double width) { return std::max(kNarrowestColumn, int(width / charWidth)); };
    auto linesOn = [&](double height) {
        return std::max(kFooterLines + 2, int(height / lineHeight)) - kFooterLines;
    };

    std::vector<int> natural(std::size_t(table.columns), 1);
    for (const QStringList& row : table.rows)
        for (qsizetype column = 0; column < row.size(); ++column)
            natural[std::size_t(column)] =
                std::max(natural[std::size_t(column)], fieldWidth(row.at(column)));

    // Portrait while the table fits across it; else the wider side across.
    const double wide = std::max(metrics.areaWidth, metrics.areaHeight);
    const double narrow = std::min(metrics.areaWidth, metrics.areaHeight);
    layout.landscape = neededWidth(natural) > charsOn(narrow) && wide > narrow;
    const double across = layout.landscape ? wide : narrow;
    const double down = layout.landscape ? narrow : wide;
    layout.charsPerLine = charsOn(across);
    layout.linesPerPage = linesOn(down);

    // Groups only when even the narrowest columns cannot share a line.
    int narrowest = 0;
    for (int w : natural)
        narrowest += std::min(w, kNarrowestColumn);
    narrowest += kColumnGap * std::max(0, int(natural.size()) - 1);
    const std::vector<std::vector<int>> groups =
        narrowest <= layout.charsPerLine
            ? std::vector<std::vector<int>>{[&] {
                  std::vector<int> all(natural.size());
                  std::iota(all.begin(), all.end(), 0);
                  return all;
              }()}
            : columnGroups(natural, layout.charsPerLine);
    layout.columnGroups = int(groups.size());
    static const QStringList noRow;
    for (const std::vector<int>& group : groups) {
        std::vector<int> groupNatural;
        for (int column : group)
            groupNatural.push_back(natural[std::size_t(column)]);
        const std::vector<int> widths = fitWidths(groupNatural, layout.charsPerLine);
        std::vector<int> xs;
        int x = 0;
        for (int w : widths) {
            xs.push_back(x);
            x += w + kColumnGap;
        }
        std::vector<TableLine> header =
            rowLines(table.rows.empty() ? noRow : table.rows.front(), group, widths, xs);
        // A header taller than the page keeps what fits and leaves a line for the rows.
        if (int(header.size()) >= layout.linesPerPage)
            header.resize(std::size_t(std::max(0, layout.linesPerPage - 1)));
        auto newPage = [&] {
            layout.pages.emplace_back();
            layout.pages.back().lines = header;
            layout.pages.back().headerLines = int(header.size());
        };
        newPage();
        for (std::size_t r = 1; r < table.rows.size(); ++r) {
            std::vector<TableLine> lines = rowLines(table.rows[r], group, widths, xs);
            TablePage* page = &layout.pages.back();
            const int room = layout.linesPerPage - int(page->lines.size());
            const int capacity = layout.linesPerPage - page->headerLines;
            // A row starts on a new page unless it fits whole, or is taller than any page.
            if (int(lines.size()) > room && (int(lines.size()) <= capacity || room <= 0)) {
                newPage();
                page = &layout.pages.back();
            }
            for (TableLine& line : lines) {
                if (int(page->lines.size()) >= layout.linesPerPage) {
                    newPage();
                    page = &layout.pages.back();
                }
                page->lines.push_back(std::move(line));
            }
        }
    }
    return layout;
}

} // namespace tabulon
