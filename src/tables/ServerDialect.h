#pragma once

// What the server's own catalogue says about the columns of a table, where the driver's column
// metadata cannot be trusted: which columns the server fills itself (identity, rowversion,
// computed). SQL Server's drivers report an identity column as an ordinary one, so its
// catalogue is asked instead. Every catalogue statement that depends on the kind of server
// lives here, chosen from the connection's DBMS name.

#include "connection/odbc/Odbc.h"

#include <QString>
#include <string>
#include <vector>

namespace tabulon {

enum class ServerDialect {
    SqlServer, // SQL Server and servers that speak its dialect
    Sqlite,
    Other,     // no catalogue of its own is asked; the driver's metadata stands
};

// The dialect of a server from its SQL_DBMS_NAME ("Microsoft SQL Server", "SQLite", ...).
ServerDialect dialectOf(const std::string& dbmsName);

// Why the server fills a column itself.
enum class Generated { No, Identity, RowVersion, Computed };

// One column of the table as the server's catalogue describes it.
struct CatalogueColumn {
    std::string name;
    Generated generated = Generated::No;
};

// The statement that lists the table's columns with what the server fills itself, one row per
// column: its name, whether it is an identity column, whether it is computed, and its type
// name (SQL Server); or its name and its "hidden" mark (SQLite). The table's name travels as
// a parameter, never inside the statement text. Empty text for a dialect without one.
struct CatalogueStatement {
    std::string sql;
    std::vector<odbc::Param> params;
};
CatalogueStatement generatedColumnsStatement(ServerDialect dialect, const QString& table);

// Runs that statement. Empty for a dialect without one, or when the catalogue does not know
// the table. Throws odbc::Error when the server refuses the statement.
std::vector<CatalogueColumn> catalogueColumns(odbc::Connection& connection, const QString& table);

} // namespace tabulon
