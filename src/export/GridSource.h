#pragma once

#include <QString>
#include <string>

namespace tabulon {

// What a column's values are, as far as a spreadsheet cell goes: an exact number (integers,
// bit, decimal, money), a floating-point number, a date, a time of day, a date with a time, or
// text (everything else, kept exactly as shown).
enum class CellKind { Text, Number, Float, Date, Time, DateTime };

// What the exports read from the editor's grid: the column captions, the data rows in the
// order shown, and each cell exactly as the grid displays it (NULL gives the empty text).
// Rows are addressed directly, so every row is visited once whatever was scrolled or current.
class GridSource {
public:
    virtual ~GridSource() = default;
    virtual int columnCount() const = 0;
    virtual QString caption(int column) const = 0;
    // Data rows only; the new-record row is not counted.
    virtual qsizetype rowCount() const = 0;
    virtual QString cellText(qsizetype row, int column) const = 0;
    // What the column holds; a grid that does not know says text.
    virtual CellKind columnKind(int /*column*/) const { return CellKind::Text; }
    // Appends the cell's display text as UTF-8. Big exports use this path.
    virtual void appendCellUtf8(qsizetype row, int column, std::string& out) const
    {
        out += cellText(row, column).toStdString();
    }
};

} // namespace tabulon
