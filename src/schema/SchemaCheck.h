#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace odbc {
class Connection;
}

namespace tabulon {

// How a server matches one name against another.
enum class NameMatching {
    // SQLite: letters A to Z match whatever their case; every other character, blanks
    // included, only itself.
    Sqlite,
    // SQL Server with its default (case-insensitive) collations: letters match whatever their
    // case, and blanks at the end of a name do not count. Babelfish lists names with A to Z
    // lower-cased, which this also matches.
    SqlServer,
};

// The matching of the server a connection reaches, by its SQL_DBMS_NAME.
NameMatching nameMatchingFor(const std::string& dbmsName);

// True when the server takes the two names for the same table or column.
bool sameName(NameMatching matching, const QString& a, const QString& b);

// After a CREATE TABLE or an ALTER TABLE ADD that the server accepted: throws AppError when the
// table or column of that name is not there, the name matched as the server matches it (a
// driver that reads part of a name as something else can make another object than the one
// asked for).
void ensureTableExists(odbc::Connection& connection, const QString& table);
void ensureColumnExists(odbc::Connection& connection, const QString& table, const QString& column);
// After a CREATE TABLE whose table is there: throws AppError when one of the columns asked for
// is not (the driver read its name as something else, and the table was made without it).
void ensureColumnsExist(odbc::Connection& connection, const QString& table,
                        const QStringList& columns);

} // namespace tabulon
