#pragma once

#include "schema/SchemaSql.h"

#include <QString>
#include <ostream>

// Readable values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tabulon {
inline void PrintTo(const FieldRow& row, std::ostream* out)
{
    *out << "{\"" << row.fieldName.toStdString() << "\", \"" << row.dataType.toStdString()
         << "\", \"" << row.precision.toStdString() << "\", \"" << row.autoincrement.toStdString()
         << "\", \"" << row.defaultValue.toStdString() << "\"}";
}
} // namespace tabulon
