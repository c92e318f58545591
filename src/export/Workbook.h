#pragma once

#include "GridSource.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace tabulon {

// Significant digits a spreadsheet cell's number keeps for certain.
inline constexpr std::size_t kSheetDigits = 15;

// The number a spreadsheet cell holds for a number as the grid shows it ("-12.50", "1.5E-3").
// None for a text that is not a plain decimal number. An `exact` number (integer, decimal,
// money) with more significant digits than a cell keeps, such as a 19-digit bigint, is none
// too: it goes in as text, whole. A floating-point number is approximate anyway and is
// taken to the cell's precision.
std::optional<double> sheetNumber(std::string_view text, bool exact);

// A date, time or date and time as the grid shows it ("2024-03-31", "14:30:00.5",
// "2024-03-31 14:30:00.0000000") as a spreadsheet date: days since 1899-12-30 with the time as
// the fraction of a day (a time alone is the fraction only). None when the text is not of that
// form, or for a date before 1900-03-01, which the spreadsheet's calendar does not count the
// same way. `fraction` tells whether the seconds have a non-zero fraction.
struct SheetDate {
    double serial = 0;
    bool fraction = false;
};
std::optional<SheetDate> sheetDate(CellKind kind, std::string_view text);

// A new .xlsx workbook with one sheet of typed cells, written with libxlsxwriter row by row
// (constant memory), with column widths fitted to the texts, since the library has no
// auto-fit of its own. Failures throw AppError with the library's reason.
class XlsxWorkbook {
public:
    static constexpr std::uint32_t kMaxRows = 1048576;   // rows of a worksheet
    static constexpr std::uint16_t kMaxColumns = 16384;  // columns of a worksheet
    static constexpr std::size_t kMaxTextLength = 32767; // characters of a cell

    explicit XlsxWorkbook(const QString& path);
    ~XlsxWorkbook(); // drops an unclosed workbook without writing it
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    void addSheet();
    // Puts `utf8` into the cell (0-based) as text; an empty text leaves the cell empty. A text
    // longer than a cell holds is cut to kMaxTextLength characters, and false returned.
    // Rows must come in order.
    bool writeText(std::uint32_t row, std::uint16_t column, std::string& utf8);
    // Puts a cell's display text into the cell as a value of the column's kind: a number, or a
    // date with a matching number format ("yyyy-mm-dd", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss", with
    // ".000" when the seconds have a fraction). A text that is not such a value, and every cell
    // of a text column, goes in as text (writeText). An empty text leaves the cell empty.
    bool writeCell(std::uint32_t row, std::uint16_t column, CellKind kind, std::string& utf8);
    // Sets every written column's width from its widest text.
    void fitColumns();
    // Writes the file.
    void close();
    // Drops the workbook without writing it.
    void discard();

    // The width given to a column whose widest text shows `textWidth` characters wide.
    static double columnWidth(double textWidth);

private:
    void noteWidth(std::uint16_t column, double width);
    lxw_format* dateFormat(CellKind kind, bool fraction);

    lxw_workbook* workbook_ = nullptr;
    lxw_format* formats_[2][3] = {}; // [fraction][date, time, date and time]
    lxw_worksheet* sheet_ = nullptr;
    std::vector<double> widths_;
    QString path_;
};

} // namespace tabulon
