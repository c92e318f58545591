#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;

namespace tabulon {

// A new .xlsx workbook with one sheet of text cells, written with libxlsxwriter row by row
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
    // Sets every written column's width from its widest text.
    void fitColumns();
    // Writes the file.
    void close();
    // Drops the workbook without writing it.
    void discard();

    // The width given to a column whose widest text shows `textWidth` characters wide.
    static double columnWidth(double textWidth);

private:
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    std::vector<double> widths_;
    QString path_;
};

} // namespace tabulon
