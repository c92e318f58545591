#include "TypedGridSource.h"

#include "RowSet.h"
#include "ValueFormat.h"

namespace tabulon {

CellKind cellKindOf(const odbc::ColumnInfo& column)
{
    switch (valueTypeOf(column)) {
    case ValueType::Integer:
    case ValueType::Bit:
    case ValueType::Decimal: return CellKind::Number;
    case ValueType::Real:
    case ValueType::Float: return CellKind::Float;
    case ValueType::Date: return CellKind::Date;
    case ValueType::Time: return CellKind::Time;
    case ValueType::DateTime: return CellKind::DateTime;
    // A sheet has no time zones: the offset would be lost, so the text stays whole.
    case ValueType::DateTimeOffset:
    case ValueType::Guid:
    case ValueType::Text:
    case ValueType::Binary: break;
    }
    return CellKind::Text;
}

CellKind TypedGridSource::columnKind(int column) const
{
    if (!rows_ || column < 0 || column >= rows_->columnCount())
        return CellKind::Text;
    return cellKindOf(rows_->column(column));
}

} // namespace tabulon
