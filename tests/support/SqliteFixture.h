#pragma once

// A fresh SQLite database that the program reaches through its own connection string:
// the ODBC driver name "SQL Server" stands for the SQLite ODBC driver in this test process
// (see OdbcDrivers.h), and Database= is the database file.
//
//   tabulon::test::SqliteFixture db;
//   db.exec("CREATE TABLE [t] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(50) NULL);");
//   ... the program opens tabulon::BuildConnectionString(db.login()) ...
//   EXPECT_EQ(db.column("SELECT name FROM t ORDER BY id;"), QStringList({"a", "b"}));
//
// Setting up and reading back go straight to the database file through SQLite itself, apart
// from the layer under test; connect() gives an ODBC connection of its own.

#include "connection/ConnectionString.h"
#include "connection/odbc/Odbc.h"
#include "support/OdbcDrivers.h"

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace tabulon::test {

class SqliteFixture {
public:
    SqliteFixture();
    ~SqliteFixture();
    SqliteFixture(const SqliteFixture&) = delete;
    SqliteFixture& operator=(const SqliteFixture&) = delete;

    // The private folder (removed with the fixture) and the database file in it.
    QString folder() const;
    QString databasePath() const;

    // The login window's fields for this database: "Local Connection" ticked, server
    // "localhost", the file as database, no user and no password.
    LoginFields login() const;
    // BuildConnectionString(login()), as the program builds it.
    std::string connectionString() const { return connectionStringUtf8(login()); }
    // A connection of its own, for reading what the program wrote.
    odbc::Connection connect() const;

    // Runs a script of one or more statements; throws std::runtime_error with SQLite's message.
    void exec(const std::string& sqlScript) const;
    // The rows of a query, every value as text (NULL as a null QString, blobs as their bytes).
    std::vector<QStringList> rows(const std::string& query) const;
    // The first column of every row.
    QStringList column(const std::string& query) const;
    // The first value of the first row (a null QString when there is none).
    QString value(const std::string& query) const;

private:
    std::string folder_;
    std::string path_;
};

} // namespace tabulon::test
