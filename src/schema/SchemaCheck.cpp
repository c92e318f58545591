#include "SchemaCheck.h"

#include "app/ErrorReport.h"
#include "connection/SqlNames.h"
#include "connection/odbc/Odbc.h"

namespace tabulon {

void ensureTableExists(odbc::Connection& connection, const QString& table)
{
    const std::string wanted = table.toStdString();
    for (const auto& [type, name] : connection.tables())
        if (name == wanted)
            return;
    throw AppError(QStringLiteral("The statement was accepted, but there is no table named \"%1\" "
                                  "now: the driver read the name as something else. Choose a "
                                  "name without such characters (for example braces).")
                       .arg(table));
}

void ensureColumnExists(odbc::Connection& connection, const QString& table, const QString& column)
{
    odbc::ResultSet rows =
        connection.query((QStringLiteral("SELECT * FROM ") + bracketName(table) +
                          QStringLiteral(" WHERE 1 = 0;")).toStdString());
    const std::string wanted = column.toStdString();
    for (const odbc::ColumnInfo& info : rows.columns())
        if (info.name == wanted)
            return;
    throw AppError(QStringLiteral("The statement was accepted, but the table has no column named "
                                  "\"%1\" now: the driver read the name as something else. Choose "
                                  "a name without such characters (for example braces).")
                       .arg(column));
}

} // namespace tabulon
