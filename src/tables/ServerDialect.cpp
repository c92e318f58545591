#include "ServerDialect.h"

#include "connection/SqlNames.h"

#include <algorithm>
#include <cctype>

namespace tabulon {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string textOf(const odbc::CellView& v)
{
    if (v.kind == odbc::Kind::Integer)
        return std::to_string(v.integer);
    return std::string(v.bytes);
}

bool isSet(const odbc::CellView& v)
{
    if (v.kind == odbc::Kind::Null)
        return false;
    if (v.kind == odbc::Kind::Integer)
        return v.integer != 0;
    if (v.kind == odbc::Kind::Real)
        return v.real != 0;
    const std::string t = lower(textOf(v));
    return !t.empty() && t != "0" && t != "false";
}

odbc::Param textParam(const QString& text)
{
    odbc::Param p;
    p.value = odbc::Value::fromText(text.toStdString());
    p.columnSize = std::max<std::size_t>(p.value.bytes.size(), 1);
    return p;
}

} // namespace

ServerDialect dialectOf(const std::string& dbmsName)
{
    const std::string name = lower(dbmsName);
    if (name.find("sql server") != std::string::npos)
        return ServerDialect::SqlServer;
    if (name == "sqlite")
        return ServerDialect::Sqlite;
    return ServerDialect::Other;
}

CatalogueStatement generatedColumnsStatement(ServerDialect dialect, const QString& table)
{
    CatalogueStatement s;
    switch (dialect) {
    case ServerDialect::SqlServer:
        // The one-part bracketed name resolves through the same default schema as the
        // "SELECT * FROM [t];" that read the rows. rowversion is listed under its older type
        // name, timestamp.
        s.sql = "SELECT c.[name], c.[is_identity], c.[is_computed], t.[name] "
                "FROM sys.columns AS c JOIN sys.types AS t ON t.[user_type_id] = c.[user_type_id] "
                "WHERE c.[object_id] = OBJECT_ID(?) ORDER BY c.[column_id];";
        s.params.push_back(textParam(bracketName(table)));
        break;
    case ServerDialect::Sqlite:
        // hidden: 2 for a generated (computed) column kept virtual, 3 for one that is stored.
        s.sql = "SELECT name, hidden FROM pragma_table_xinfo(?);";
        s.params.push_back(textParam(table));
        break;
    case ServerDialect::Other:
        break;
    }
    return s;
}

std::vector<CatalogueColumn> catalogueColumns(odbc::Connection& connection, const QString& table)
{
    const ServerDialect dialect = dialectOf(connection.dbmsName());
    const CatalogueStatement statement = generatedColumnsStatement(dialect, table);
    std::vector<CatalogueColumn> columns;
    if (statement.sql.empty())
        return columns;
    odbc::ResultSet rs = connection.query(statement.sql, statement.params);
    const std::size_t width = rs.columns().size();
    while (rs.fetchBlock()) {
        for (std::size_t r = 0; r < rs.blockRows(); ++r) {
            CatalogueColumn column;
            column.name = textOf(rs.cell(r, 0));
            if (dialect == ServerDialect::SqlServer && width >= 4) {
                const std::string type = lower(textOf(rs.cell(r, 3)));
                if (isSet(rs.cell(r, 1)))
                    column.generated = Generated::Identity;
                else if (isSet(rs.cell(r, 2)))
                    column.generated = Generated::Computed;
                else if (type == "timestamp" || type == "rowversion")
                    column.generated = Generated::RowVersion;
            } else if (dialect == ServerDialect::Sqlite && width >= 2) {
                const odbc::CellView hidden = rs.cell(r, 1);
                const std::int64_t mark = hidden.kind == odbc::Kind::Integer ? hidden.integer
                                                                            : std::atoll(textOf(hidden).c_str());
                if (mark == 2 || mark == 3)
                    column.generated = Generated::Computed;
            }
            columns.push_back(std::move(column));
        }
    }
    return columns;
}

} // namespace tabulon
