#include "support/SqliteFixture.h"

#include <dlfcn.h>
#include <sqlite3.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <stdlib.h>

namespace tabulon::test {

namespace {

// SQLite itself, loaded from the library the SQLite ODBC driver uses too, so the test programs
// need no link option of their own for it.
struct SqliteApi {
    decltype(&sqlite3_open_v2) open_v2 = nullptr;
    decltype(&sqlite3_close_v2) close_v2 = nullptr;
    decltype(&sqlite3_exec) exec = nullptr;
    decltype(&sqlite3_free) free = nullptr;
    decltype(&sqlite3_errmsg) errmsg = nullptr;
    decltype(&sqlite3_busy_timeout) busy_timeout = nullptr;
    decltype(&sqlite3_prepare_v2) prepare_v2 = nullptr;
    decltype(&sqlite3_step) step = nullptr;
    decltype(&sqlite3_finalize) finalize = nullptr;
    decltype(&sqlite3_column_count) column_count = nullptr;
    decltype(&sqlite3_column_type) column_type = nullptr;
    decltype(&sqlite3_column_text) column_text = nullptr;
    decltype(&sqlite3_column_blob) column_blob = nullptr;
    decltype(&sqlite3_column_bytes) column_bytes = nullptr;

    static const SqliteApi& get()
    {
        static SqliteApi api = load();
        return api;
    }

private:
    static SqliteApi load()
    {
        void* lib = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_GLOBAL);
        if (!lib)
            throw std::runtime_error(std::string("cannot load SQLite: ") + ::dlerror());
        SqliteApi a;
        auto sym = [lib](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
            if (!fn)
                throw std::runtime_error(std::string("SQLite lacks ") + name);
        };
        sym(a.open_v2, "sqlite3_open_v2");
        sym(a.close_v2, "sqlite3_close_v2");
        sym(a.exec, "sqlite3_exec");
        sym(a.free, "sqlite3_free");
        sym(a.errmsg, "sqlite3_errmsg");
        sym(a.busy_timeout, "sqlite3_busy_timeout");
        sym(a.prepare_v2, "sqlite3_prepare_v2");
        sym(a.step, "sqlite3_step");
        sym(a.finalize, "sqlite3_finalize");
        sym(a.column_count, "sqlite3_column_count");
        sym(a.column_type, "sqlite3_column_type");
        sym(a.column_text, "sqlite3_column_text");
        sym(a.column_blob, "sqlite3_column_blob");
        sym(a.column_bytes, "sqlite3_column_bytes");
        return a;
    }
};

// One short-lived handle on the database file.
class Database {
public:
    explicit Database(const std::string& path) : api_(SqliteApi::get())
    {
        if (api_.open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            std::string message = db_ ? api_.errmsg(db_) : "out of memory";
            api_.close_v2(db_);
            throw std::runtime_error("cannot open " + path + ": " + message);
        }
        api_.busy_timeout(db_, 10000);
    }
    ~Database() { api_.close_v2(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const std::string& script)
    {
        char* error = nullptr;
        if (api_.exec(db_, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : api_.errmsg(db_);
            api_.free(error);
            throw std::runtime_error("SQLite refused the script: " + message);
        }
    }

    std::vector<QStringList> rows(const std::string& query)
    {
        sqlite3_stmt* stmt = nullptr;
        if (api_.prepare_v2(db_, query.c_str(), int(query.size()), &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error("SQLite refused the query: " + std::string(api_.errmsg(db_)));
        std::vector<QStringList> result;
        int rc = SQLITE_ROW;
        while ((rc = api_.step(stmt)) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < api_.column_count(stmt); ++c) {
                switch (api_.column_type(stmt, c)) {
                case SQLITE_NULL:
                    row.append(QString());
                    break;
                case SQLITE_BLOB: {
                    const auto* bytes = static_cast<const char*>(api_.column_blob(stmt, c));
                    row.append(QString::fromLatin1(bytes, api_.column_bytes(stmt, c)));
                    break;
                }
                default: {
                    const auto* text = reinterpret_cast<const char*>(api_.column_text(stmt, c));
                    row.append(QString::fromUtf8(text, api_.column_bytes(stmt, c)));
                    break;
                }
                }
            }
            result.push_back(row);
        }
        const std::string message = api_.errmsg(db_);
        api_.finalize(stmt);
        if (rc != SQLITE_DONE)
            throw std::runtime_error("SQLite failed on the query: " + message);
        return result;
    }

private:
    const SqliteApi& api_;
    sqlite3* db_ = nullptr;
};

} // namespace

SqliteFixture::SqliteFixture()
{
    useSqlServerDriver(SqlServerDriver::Sqlite);
    std::string base = std::filesystem::temp_directory_path().string() + "/tabulon-db-XXXXXX";
    if (!::mkdtemp(base.data()))
        throw std::runtime_error("cannot make a folder for the test database");
    folder_ = base;
    path_ = folder_ + "/test.db";
    Database(path_).exec("PRAGMA user_version = 1;"); // the file exists from here on

    // Once per process: make sure the name really reaches SQLite (an ODBC lookup made before the
    // private odbcinst.ini was in place would have fixed another meaning).
    static std::once_flag checked;
    std::call_once(checked, [this] {
        const std::string dbms = connect().dbmsName();
        if (dbms != "SQLite")
            throw std::logic_error("\"SQL Server\" reaches " + dbms + " in this process, not SQLite");
    });
}

SqliteFixture::~SqliteFixture()
{
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

QString SqliteFixture::folder() const
{
    return QString::fromStdString(folder_);
}

QString SqliteFixture::databasePath() const
{
    return QString::fromStdString(path_);
}

LoginFields SqliteFixture::login() const
{
    LoginFields f;
    f.local = true;
    f.server = QStringLiteral("localhost");
    f.database = databasePath();
    return f;
}

odbc::Connection SqliteFixture::connect() const
{
    // What BuildConnectionString gives for login(); spelt out so this helper stands apart from it.
    return odbc::Connection::open("Driver={SQL Server};Server=localhost;Database=" + path_ + ";Uid=;Pwd=;");
}

void SqliteFixture::exec(const std::string& sqlScript) const
{
    Database(path_).exec(sqlScript);
}

std::vector<QStringList> SqliteFixture::rows(const std::string& query) const
{
    return Database(path_).rows(query);
}

QStringList SqliteFixture::column(const std::string& query) const
{
    QStringList out;
    for (const QStringList& row : rows(query))
        out.append(row.isEmpty() ? QString() : row.front());
    return out;
}

QString SqliteFixture::value(const std::string& query) const
{
    const auto r = rows(query);
    return r.empty() || r.front().isEmpty() ? QString() : r.front().front();
}

} // namespace tabulon::test
