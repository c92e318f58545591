#pragma once

// A fresh database of its own for one test, on the engine this test process runs against.
//
// Every database test runs twice: once with "SQL Server" meaning the SQLite ODBC driver and a
// database file, once with it meaning FreeTDS and a T-SQL server (the bundled engine that the
// test command starts, or any SQL Server named by TABULON_TSQL_SERVER). The test process learns
// which from TABULON_TEST_ENGINE ("sqlite", the default, or "tsql"); CTest registers each test
// under both names.
//
//   tabulon::test::TestDatabase db;
//   db.exec("CREATE TABLE [t] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(50) NULL);");
//   ... the program opens tabulon::BuildConnectionString(db.login()) ...
//   EXPECT_EQ(db.column("SELECT name FROM t ORDER BY id;"), QStringList({"a", "b"}));
//
// On SQLite, setting up and reading back go straight to the database file through SQLite
// itself, apart from the layer under test. On T-SQL they go through a connection of the
// fixture's own; each fixture makes a uniquely named database and drops it at the end.
//
// Where the engines truly differ, a test says which one it expects (isSqlite() / isTsql()).

#include "connection/ConnectionString.h"
#include "connection/odbc/Odbc.h"
#include "support/OdbcDrivers.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

namespace tabulon::test {

enum class Engine { Sqlite, Tsql };

// The engine of this test process (TABULON_TEST_ENGINE).
Engine testEngine();
const char* engineName(Engine engine);

// Where the T-SQL server is: TABULON_TSQL_SERVER = "host,port,user,password" (the password is
// everything after the third comma).
struct TsqlServer {
    std::string host;
    std::string port;
    std::string user;
    std::string password;
};
TsqlServer tsqlServer(); // throws std::runtime_error when the variable is missing or malformed

class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    Engine engine() const { return engine_; }
    bool isSqlite() const { return engine_ == Engine::Sqlite; }
    bool isTsql() const { return engine_ == Engine::Tsql; }

    // A private folder for the test's own files, removed with the fixture (on both engines).
    QString folder() const;
    // SQLite: the database file. T-SQL: the database's name. What the login's Database field holds.
    QString databaseName() const;
    // The database file; only on SQLite (a test that needs a file states its engine).
    QString databasePath() const;

    // The login window's fields for this database. SQLite: "Local Connection" ticked, server
    // "localhost", the file as database, no user and no password. T-SQL: the server's host and
    // port, its user and password, and this fixture's database.
    LoginFields login() const;
    // BuildConnectionString(login()), as the program builds it.
    std::string connectionString() const { return connectionStringUtf8(login()); }
    // A connection of its own, for reading what the program wrote or for holding locks.
    odbc::Connection connect() const;

    // Runs a script of one or more statements; throws std::runtime_error with the engine's message.
    void exec(const std::string& sqlScript) const;
    // The rows of a query, every value as text (NULL as a null QString, binary as its bytes,
    // integers in decimal, floating point in its shortest exact form).
    std::vector<QStringList> rows(const std::string& query) const;
    // The first column of every row.
    QStringList column(const std::string& query) const;
    // The first value of the first row (a null QString when there is none).
    QString value(const std::string& query) const;

    // Column definition text of an integer key that the engine numbers itself:
    // "[id] INTEGER PRIMARY KEY AUTOINCREMENT" on SQLite, "[id] int IDENTITY(1,1) NOT NULL
    // PRIMARY KEY" on T-SQL.
    std::string autoKey(const std::string& column = "id") const;
    // The user tables as the engine's own catalogue names them (T-SQL lower-cases them), sorted.
    QStringList tableNames() const;
    // Whether a user table of exactly this name exists, compared the way the engine compares
    // names (case-insensitively on T-SQL, exactly on SQLite).
    bool hasTable(const QString& name) const;
    // The column names of a table, in order, as the engine reports them.
    QStringList columnNames(const QString& table) const;

private:
    Engine engine_;
    std::string folder_;
    std::string path_;     // SQLite: the database file
    std::string database_; // T-SQL: the database name
    mutable std::unique_ptr<odbc::Connection> admin_; // T-SQL: the fixture's own connection
    odbc::Connection& adminConnection() const;
};

} // namespace tabulon::test
