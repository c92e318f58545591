#include "Generate.h"

#include "BenchSupport.h"

#include <sqlite3.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <stdexcept>

namespace bench {

namespace {

class Db {
public:
    explicit Db(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close_v2(db_);
            throw std::runtime_error("cannot open " + path + ": " + message);
        }
        sqlite3_busy_timeout(db_, 10000);
    }
    ~Db() { sqlite3_close_v2(db_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    void exec(const std::string& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            throw std::runtime_error("SQLite refused: " + message);
        }
    }

    std::string text(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error("SQLite refused the query: " + std::string(sqlite3_errmsg(db_)));
        std::string out;
        if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
            out.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), std::size_t(sqlite3_column_bytes(stmt, 0)));
        sqlite3_finalize(stmt);
        return out;
    }

private:
    sqlite3* db_ = nullptr;
};

const char* const kFiller =
    "Delivered to the loading dock at the north gate; signed by the night shift. Two cartons "
    "arrived dented, contents checked and found whole. Invoice follows by mail, payment within "
    "thirty days of receipt as agreed in the framework contract of last spring. Ref. see below.";

} // namespace

namespace {
// The generator writes without syncing; the file is put on disk before anything is measured, so
// that the first write the program makes does not pay for the generator's.
void syncFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
} // namespace

double generateTable(const std::string& path, std::int64_t rows)
{
    Stopwatch clock;
    removeFile(path);
    generateRows(path, rows);
    syncFile(path);
    return clock.seconds();
}

void generateRows(const std::string& path, std::int64_t rows)
{
    Db db(path);
    db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA cache_size = -262144;");
    db.exec("CREATE TABLE [t] ("
            "[id] int NOT NULL PRIMARY KEY, "
            "[code] nvarchar(12) NOT NULL, "
            "[name] nvarchar(40) NULL, "
            "[price] decimal(12,2) NULL, "
            "[qty] int NULL, "
            "[created] datetime NULL, "
            "[note] nvarchar(400) NULL, "
            "[active] bit NOT NULL);");
    // One statement: a recursive counter feeds the rows straight into the table.
    char sql[2048];
    std::snprintf(sql, sizeof sql,
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %lld) "
                  "INSERT INTO [t] SELECT i, "
                  "printf('C%%07d', i), "
                  "CASE WHEN i %% 50 = 0 THEN 'Zoë Ångström-Müller ' || i "
                  "     ELSE 'Customer ' || ((i * 7919) %% 100003) END, "
                  "round(((i * 37) %% 1000000) / 100.0, 2), "
                  "(i * 13) %% 1000, "
                  "datetime(1577836800 + i * 61, 'unixepoch'), "
                  "CASE WHEN i %% 10 = 0 THEN NULL "
                  "     ELSE substr('%s', 1 + (i * 7) %% 60, 40 + (i * 11) %% 100) END, "
                  "CASE WHEN i %% 3 = 0 THEN 0 ELSE 1 END "
                  "FROM n;",
                  static_cast<long long>(rows), kFiller);
    db.exec("BEGIN;");
    db.exec(sql);
    db.exec("COMMIT;");
}

double generateCatalogue(const std::string& path, int tables)
{
    Stopwatch clock;
    removeFile(path);
    Db db(path);
    db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;");
    std::string script = "BEGIN;";
    char line[256];
    for (int k = 1; k <= tables; ++k) {
        std::snprintf(line, sizeof line,
                      "CREATE TABLE [Table_%05d] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(40) NULL);", k);
        script += line;
    }
    script += "COMMIT;";
    db.exec(script);
    syncFile(path);
    return clock.seconds();
}

std::string queryText(const std::string& path, const std::string& sql)
{
    Db db(path);
    return db.text(sql);
}

} // namespace bench
