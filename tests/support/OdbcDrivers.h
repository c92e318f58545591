#pragma once

// Which ODBC driver the name "SQL Server" reaches in a test process.
//
// Tests reach their database through the program's own connection string, which always names
// `Driver={SQL Server}`. A private odbcinst.ini, selected with ODBCSYSINI, decides what that
// name means. What unixODBC 2.3.11 does with it (measured):
//   - it reads ODBCSYSINI once, at the first lookup, and keeps that folder for the life of the
//     process: setting the variable again later changes nothing;
//   - it caches every odbcinst.ini entry it has read for 20 seconds, so rewriting the file takes
//     effect only after that;
//   - it never unloads a driver library once loaded, so even a driver path that stays the same
//     (a symbolic link pointed elsewhere) keeps the first driver.
// One process can therefore give the name one meaning only. useSqlServerDriver() fixes it for
// the process, and a test that needs another meaning runs itself again in a fresh process of
// the same test program (TABULON_RUN_IN_OWN_PROCESS), where it can.

#include <string>

namespace tabulon::test {

enum class SqlServerDriver {
    Sqlite,       // the SQLite ODBC driver (libsqlite3odbc.so); Database= is the file
    FreeTds,      // FreeTDS (libtdsodbc.so), the real SQL Server driver
    Unregistered, // an odbcinst.ini that knows no driver of that name
};

// Gives "SQL Server" this meaning in this process. The first call decides: it writes the
// odbcinst.ini into a private folder (removed at exit) before any driver is looked up. A later
// call asking for another meaning throws std::logic_error.
void useSqlServerDriver(SqlServerDriver driver);

// The driver library the name is mapped to for that meaning (empty for Unregistered).
std::string driverLibrary(SqlServerDriver driver);

// The folder that ODBCSYSINI names in this process.
std::string odbcSysIniFolder();

// Runs the current test again in a fresh process of this test program and reports its outcome
// here: true in the calling process (whose test body should then return), false inside that
// fresh process (which goes on with the test).
bool rerunInOwnProcess();

// "SQL Server" meaning the real driver: FreeTDS, for the life of the process.
class FreeTdsMapping {
public:
    FreeTdsMapping() { useSqlServerDriver(SqlServerDriver::FreeTds); }
};

// "SQL Server" meaning nothing at all.
class NoSqlServerDriver {
public:
    NoSqlServerDriver() { useSqlServerDriver(SqlServerDriver::Unregistered); }
};

} // namespace tabulon::test

// The first statement of a test that needs "SQL Server" to mean something else than SQLite.
#define TABULON_RUN_IN_OWN_PROCESS()                  \
    do {                                              \
        if (::tabulon::test::rerunInOwnProcess())     \
            return;                                   \
    } while (false)
