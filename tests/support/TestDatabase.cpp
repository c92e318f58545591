#include "support/TestDatabase.h"

#include <dlfcn.h>
#include <sqlite3.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QLocale>
#include <atomic>
#include <random>

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


// The text a test compares: what SQLite's own text form of the value would be.
QString textOf(const odbc::CellView& cell)
{
    switch (cell.kind) {
    case odbc::Kind::Null:
        return QString();
    case odbc::Kind::Integer:
        return QString::number(cell.integer);
    case odbc::Kind::Real:
        return QString::number(cell.real, 'g', QLocale::FloatingPointShortest);
    case odbc::Kind::Binary:
        return QString::fromLatin1(cell.bytes.data(), qsizetype(cell.bytes.size()));
    case odbc::Kind::Text:
        return QString::fromUtf8(cell.bytes.data(), qsizetype(cell.bytes.size()));
    }
    return QString();
}

std::string bracket(const std::string& name)
{
    std::string out = "[";
    for (char c : name) {
        out += c;
        if (c == ']')
            out += ']';
    }
    return out + "]";
}

std::string sqlString(const QString& text)
{
    std::string s = text.toStdString(), out;
    for (char c : s) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return "N'" + out + "'";
}

// The connection string of the server's master database, or of one database on it.
std::string tsqlConnectionString(const TsqlServer& s, const std::string& database)
{
    return "Driver={SQL Server};Server=" + s.host + "," + s.port + ";Database=" + database + ";Uid=" + s.user +
           ";Pwd=" + s.password + ";";
}

// Runs CREATE or DROP DATABASE on the server's master database. The engine refuses two of
// them at the same moment ("tuple concurrently updated"), and the test programs run side by
// side: one at a time across processes, through a lock file, and again after such a refusal.
void onMaster(const std::string& statement)
{
    const int lock = ::open("/tmp/tabulon-tsql-databases.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    // Closed (and the lock released) however this ends: a lock left behind by an exception
    // would make the next call of this process wait for itself, and every other test program
    // with it.
    struct Release {
        int fd;
        ~Release()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } release{lock};
    std::string last;
    for (int attempt = 0; attempt < 5; ++attempt) {
        try {
            odbc::Connection::open(tsqlConnectionString(tsqlServer(), "master")).execute(statement);
            last.clear();
            break;
        } catch (const odbc::Error& e) {
            last = e.description();
            if (last.find("concurrently") == std::string::npos)
                break;
            ::usleep(200000);
        }
    }
    if (!last.empty())
        throw std::runtime_error("The T-SQL engine refused \"" + statement + "\": " + last);
}

std::string makeFolder()
{
    std::string base = std::filesystem::temp_directory_path().string() + "/tabulon-db-XXXXXX";
    if (!::mkdtemp(base.data()))
        throw std::runtime_error("cannot make a folder for the test database");
    return base;
}

} // namespace

Engine testEngine()
{
    static const Engine engine = [] {
        const QString name = qEnvironmentVariable("TABULON_TEST_ENGINE").trimmed().toLower();
        if (name.isEmpty() || name == QLatin1String("sqlite"))
            return Engine::Sqlite;
        if (name == QLatin1String("tsql"))
            return Engine::Tsql;
        throw std::runtime_error("TABULON_TEST_ENGINE must be \"sqlite\" or \"tsql\", not \"" + name.toStdString() + "\"");
    }();
    return engine;
}

const char* engineName(Engine engine)
{
    return engine == Engine::Tsql ? "T-SQL" : "SQLite";
}

TsqlServer tsqlServer()
{
    const std::string spec = qEnvironmentVariable("TABULON_TSQL_SERVER").toStdString();
    TsqlServer s;
    std::size_t a = spec.find(','), b = a == std::string::npos ? a : spec.find(',', a + 1),
                c = b == std::string::npos ? b : spec.find(',', b + 1);
    if (spec.empty() || c == std::string::npos)
        throw std::runtime_error("TABULON_TSQL_SERVER must read host,port,user,password (the test command sets it "
                                 "when it starts the T-SQL engine)");
    s.host = spec.substr(0, a);
    s.port = spec.substr(a + 1, b - a - 1);
    s.user = spec.substr(b + 1, c - b - 1);
    s.password = spec.substr(c + 1);
    return s;
}

TestDatabase::TestDatabase() : engine_(testEngine()), folder_(makeFolder())
{
    if (engine_ == Engine::Sqlite) {
        useSqlServerDriver(SqlServerDriver::Sqlite);
        path_ = folder_ + "/test.db";
        Database(path_).exec("PRAGMA user_version = 1;"); // the file exists from here on
    } else {
        useSqlServerDriver(SqlServerDriver::FreeTds);
        // A name no other test process picks: the process, a counter and a random draw.
        static std::atomic<int> counter{0};
        std::random_device random;
        database_ = "tabulon_t" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + "_" +
                    std::to_string(random() % 100000);
        onMaster("CREATE DATABASE " + bracket(database_) + ";");
    }

    // Once per process: make sure the name really reaches the engine meant (an ODBC lookup made
    // before the private odbcinst.ini was in place would have fixed another meaning).
    static std::once_flag checked;
    std::call_once(checked, [this] {
        const std::string dbms = connect().dbmsName();
        const bool right = engine_ == Engine::Sqlite ? dbms == "SQLite" : dbms != "SQLite";
        if (!right)
            throw std::logic_error("\"SQL Server\" reaches " + dbms + " in this process, not " + engineName(engine_));
    });
}

TestDatabase::~TestDatabase()
{
    admin_.reset();
    if (engine_ == Engine::Tsql) {
        try {
            onMaster("DROP DATABASE " + bracket(database_) + ";");
        } catch (const std::exception&) {
            // Still in use by a connection the test left open: the engine's data goes with the run.
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

QString TestDatabase::folder() const
{
    return QString::fromStdString(folder_);
}

QString TestDatabase::databaseName() const
{
    return QString::fromStdString(isSqlite() ? path_ : database_);
}

QString TestDatabase::databasePath() const
{
    if (!isSqlite())
        throw std::logic_error("databasePath(): only a SQLite test database is a file; this test must say which "
                               "engine it expects");
    return QString::fromStdString(path_);
}

LoginFields TestDatabase::login() const
{
    LoginFields f;
    if (isSqlite()) {
        f.local = true;
        f.server = QStringLiteral("localhost");
        f.database = QString::fromStdString(path_);
        return f;
    }
    const TsqlServer s = tsqlServer();
    f.local = false;
    f.server = QString::fromStdString(s.host);
    f.port = QString::fromStdString(s.port);
    f.database = QString::fromStdString(database_);
    f.user = QString::fromStdString(s.user);
    f.password = QString::fromStdString(s.password);
    return f;
}

odbc::Connection TestDatabase::connect() const
{
    // What BuildConnectionString gives for login(); spelt out so this helper stands apart from it.
    if (isSqlite())
        return odbc::Connection::open("Driver={SQL Server};Server=localhost;Database=" + path_ + ";Uid=;Pwd=;");
    return odbc::Connection::open(tsqlConnectionString(tsqlServer(), database_));
}

odbc::Connection& TestDatabase::adminConnection() const
{
    if (!admin_)
        admin_ = std::make_unique<odbc::Connection>(connect());
    return *admin_;
}

void TestDatabase::exec(const std::string& sqlScript) const
{
    if (isSqlite())
        return Database(path_).exec(sqlScript);
    try {
        adminConnection().execute(sqlScript);
    } catch (const odbc::Error& e) {
        admin_.reset(); // whatever state the refusal left behind
        throw std::runtime_error("The T-SQL engine refused the script: " + e.description());
    }
}

std::vector<QStringList> TestDatabase::rows(const std::string& query) const
{
    if (isSqlite())
        return Database(path_).rows(query);
    std::vector<QStringList> result;
    try {
        odbc::ResultSet rs = adminConnection().query(query);
        const std::size_t columns = rs.columns().size();
        while (rs.fetchBlock()) {
            for (std::size_t r = 0; r < rs.blockRows(); ++r) {
                QStringList row;
                for (std::size_t c = 0; c < columns; ++c)
                    row.append(textOf(rs.cell(r, c)));
                result.push_back(row);
            }
        }
    } catch (const odbc::Error& e) {
        admin_.reset();
        throw std::runtime_error("The T-SQL engine refused the query: " + e.description());
    }
    return result;
}

QStringList TestDatabase::column(const std::string& query) const
{
    QStringList out;
    for (const QStringList& row : rows(query))
        out.append(row.isEmpty() ? QString() : row.front());
    return out;
}

QString TestDatabase::value(const std::string& query) const
{
    const auto r = rows(query);
    return r.empty() || r.front().isEmpty() ? QString() : r.front().front();
}

std::string TestDatabase::autoKey(const std::string& column) const
{
    if (isSqlite())
        return bracket(column) + " INTEGER PRIMARY KEY AUTOINCREMENT";
    return bracket(column) + " int IDENTITY(1,1) NOT NULL PRIMARY KEY";
}

QStringList TestDatabase::tableNames() const
{
    QStringList names = column(isSqlite() ? "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                            "'sqlite\\_%' ESCAPE '\\';"
                                          : "SELECT name FROM sys.tables;");
    names.sort();
    return names;
}

bool TestDatabase::hasTable(const QString& name) const
{
    if (isSqlite())
        return value("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = " + sqlString(name).substr(1) +
                     ";") == QStringLiteral("1");
    return value("SELECT count(*) FROM sys.tables WHERE name = " + sqlString(name) + ";") == QStringLiteral("1");
}

QStringList TestDatabase::columnNames(const QString& table) const
{
    if (isSqlite())
        return column("SELECT name FROM pragma_table_info(" + sqlString(table).substr(1) + ") ORDER BY cid;");
    return column("SELECT name FROM sys.columns WHERE object_id = OBJECT_ID(" + sqlString(QString::fromStdString(
                      bracket(table.toStdString()))) + ") ORDER BY column_id;");
}

} // namespace tabulon::test
