#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace tabulon {

// The rows and fields of a tab-delimited text as the exports write it: CR LF ends a row, a TAB
// ends a field, and what follows a row's last TAB (normally nothing) is a last field only when
// it is not empty. A lone CR or LF stays inside its field. rows[0] is the header line.
struct TextTable {
    std::vector<QStringList> rows;
    int columns = 0; // the most fields of any row
};
TextTable parseTabbedText(const QString& text);

// Calls f(code point, index, UTF-16 units) for each character of the text; a lone surrogate
// counts as a character of its own.
template <class F>
void forEachCodePoint(QStringView text, F&& f)
{
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text[i].unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            units = 2;
        }
        f(c, i, units);
        i += units;
    }
}

// Width of a text in character cells of a monospaced font: East Asian wide and full-width
// characters take two cells, combining marks none, everything else one.
int displayWidth(QStringView text);

// One piece of text on a printed line: the column it belongs to, where it starts (in
// character cells from the left edge of the printable area) and how many cells the column has.
struct TableSegment {
    int column = 0;
    int x = 0;
    int width = 0;
    QString text;
};

struct TableLine {
    std::vector<TableSegment> segments;
};

struct TablePage {
    std::vector<TableLine> lines;
    int headerLines = 0; // the first lines repeat the header; a rule is drawn under them
};

// A tab-delimited text laid out as a table on pages of a monospaced font: every column starts
// at the same place on every line, two cells after the widest text of the column before it.
// When the columns are wider than a page, the widest ones are narrowed and their long texts
// wrap inside the column (at a blank where one is near, else anywhere); nothing is cut off and
// no text reaches into the next column. When even narrowed columns cannot share one page
// width, the columns are split into groups printed one after the other, all rows each time.
// Every page starts with the header line (the first row of the text) and ends with room for
// its page number.
struct TableLayout {
    bool landscape = false;
    int charsPerLine = 0; // of the chosen orientation
    int linesPerPage = 0; // including the header lines, without the page number
    int columnGroups = 1;
    std::vector<TablePage> pages;
};

// The printable area of a portrait page in points (inside its margins) and the font's advance
// and line height in points. Landscape is chosen when the table is wider than a portrait page.
struct PageMetrics {
    double areaWidth = 0;
    double areaHeight = 0;
    double charWidth = 0;
    double lineHeight = 0;
};

// Lines below the last table line on each page: one blank, one for "Page N of M".
inline constexpr int kFooterLines = 2;
// Cells between two columns.
inline constexpr int kColumnGap = 2;

TableLayout layoutTable(const TextTable& table, const PageMetrics& metrics);

// The line under the table for page `page` (0-based) of `pages`.
QString pageNumberText(int page, int pages);

} // namespace tabulon
