#pragma once

#include <QString>

namespace odbc {
class Connection;
}

namespace tabulon {

// After a CREATE TABLE or an ALTER TABLE ADD that the server accepted: throws AppError when the
// table or column of exactly that name is not there (a driver that reads part of a name as
// something else can make another object than the one asked for).
void ensureTableExists(odbc::Connection& connection, const QString& table);
void ensureColumnExists(odbc::Connection& connection, const QString& table, const QString& column);

} // namespace tabulon
