#pragma once

// The editor's grid as the exports read it, together with each column's kind of value taken
// from the row set's column types (for exports that keep numbers and dates as such).

#include "export/GridSource.h"

namespace odbc {
struct ColumnInfo;
}

namespace tabulon {

class RowSet;

// The kind of spreadsheet cell a column's values go into.
CellKind cellKindOf(const odbc::ColumnInfo& column);

class TypedGridSource final : public GridSource {
public:
    // `rows` may be null (no table): every column is text then.
    TypedGridSource(const GridSource& grid, const RowSet* rows) : grid_(grid), rows_(rows) {}

    int columnCount() const override { return grid_.columnCount(); }
    QString caption(int column) const override { return grid_.caption(column); }
    qsizetype rowCount() const override { return grid_.rowCount(); }
    QString cellText(qsizetype row, int column) const override { return grid_.cellText(row, column); }
    void appendCellUtf8(qsizetype row, int column, std::string& out) const override
    {
        grid_.appendCellUtf8(row, column, out);
    }
    CellKind columnKind(int column) const override;

private:
    const GridSource& grid_;
    const RowSet* rows_;
};

} // namespace tabulon
