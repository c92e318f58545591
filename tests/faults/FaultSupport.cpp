#include "FaultSupport.h"

#include "support/OdbcDrivers.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QProcessEnvironment>

#include <dlfcn.h>
#include <grp.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon::faults {

namespace {

// The few SQLite entry points the other connection needs, from the library the driver uses.
struct Sqlite {
    int (*open)(const char*, void**, int, const char*) = nullptr;
    int (*close)(void*) = nullptr;
    int (*exec)(void*, const char*, void*, void*, char**) = nullptr;
    void (*free)(void*) = nullptr;
    const char* (*errmsg)(void*) = nullptr;
    int (*busyTimeout)(void*, int) = nullptr;
    int (*enableSharedCache)(int) = nullptr;

    static const Sqlite& get()
    {
        static const Sqlite api = [] {
            void* lib = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_GLOBAL);
            if (!lib)
                throw std::runtime_error(std::string("cannot load SQLite: ") + ::dlerror());
            Sqlite a;
            auto sym = [lib](auto& fn, const char* name) {
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
                if (!fn)
                    throw std::runtime_error(std::string("SQLite lacks ") + name);
            };
            sym(a.open, "sqlite3_open_v2");
            sym(a.close, "sqlite3_close_v2");
            sym(a.exec, "sqlite3_exec");
            sym(a.free, "sqlite3_free");
            sym(a.errmsg, "sqlite3_errmsg");
            sym(a.busyTimeout, "sqlite3_busy_timeout");
            sym(a.enableSharedCache, "sqlite3_enable_shared_cache");
            return a;
        }();
        return api;
    }
};

constexpr int kOpenReadWrite = 0x00000002; // SQLITE_OPEN_READWRITE

} // namespace

OtherConnection::OtherConnection(const test::TestDatabase& db)
{
    if (db.isTsql()) {
        odbc_ = std::make_unique<odbc::Connection>(db.connect());
        return;
    }
    const Sqlite& api = Sqlite::get();
    const QByteArray path = db.databasePath().toUtf8();
    if (api.open(path.constData(), &db_, kOpenReadWrite, nullptr) != 0)
        throw std::runtime_error("cannot open " + path.toStdString() + ": " + api.errmsg(db_));
    api.busyTimeout(db_, 10000);
}

OtherConnection::~OtherConnection()
{
    if (db_)
        Sqlite::get().close(db_);
}

bool OtherConnection::exec(const std::string& script)
{
    if (odbc_) {
        try {
            odbc_->execute(script);
            error_.clear();
            return true;
        } catch (const std::exception& e) {
            error_ = e.what();
            return false;
        }
    }
    const Sqlite& api = Sqlite::get();
    char* message = nullptr;
    if (api.exec(db_, script.c_str(), nullptr, nullptr, &message) == 0) {
        error_.clear();
        return true;
    }
    error_ = message ? message : api.errmsg(db_);
    api.free(message);
    return false;
}

void OtherConnection::shareCacheInThisProcess()
{
    Sqlite::get().enableSharedCache(1);
}

Clerk::Clerk(Program& p, const std::string& table, std::string password)
    : p_(p), table_(table), name_("clerk_" + p.db.databaseName().toStdString())
{
    p_.db.exec("CREATE LOGIN [" + name_ + "] WITH PASSWORD = '" + password + "';");
    p_.db.exec("CREATE USER [" + name_ + "] FOR LOGIN [" + name_ + "];");
    p_.db.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON [" + table_ + "] TO [" + name_ + "];");
    QSettings s(p_.settingsPath(), QSettings::IniFormat);
    s.setValue(QStringLiteral("Tabulon/MSUser"), QString::fromStdString(name_));
    s.setValue(QStringLiteral("Tabulon/MSPassword"), QString::fromStdString(password));
}

Clerk::~Clerk()
{
    p_.flow.reset();
    for (const std::string& drop : {"REVOKE SELECT, INSERT, UPDATE, DELETE ON [" + table_ + "] FROM [" + name_ + "];",
                                    "DROP USER [" + name_ + "];", "DROP LOGIN [" + name_ + "];"}) {
        try {
            p_.db.exec(drop);
        } catch (const std::exception&) {
            // Taken away by the test already, or gone with its table.
        }
    }
}

bool rerunUnprivileged()
{
    static const char* const kVariable = "TABULON_FAULTS_AS_USER";
    constexpr uid_t kNobody = 65534;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString test = QString::fromUtf8(info->test_suite_name()) + QLatin1Char('.') + QString::fromUtf8(info->name());
    if (qEnvironmentVariable(kVariable) == test) {
        // The fresh process: hand this process's odbcinst.ini folder to the ordinary user (who
        // reads it, and removes it at the end), then become that user for good.
        const std::string ini = test::odbcSysIniFolder();
        for (const std::string& path : {ini, ini + "/odbcinst.ini", ini + "/odbc.ini"})
            if (::chown(path.c_str(), kNobody, kNobody) != 0)
                ADD_FAILURE() << "could not hand " << path << " over";
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ADD_FAILURE() << "could not give up root";
            return true;
        }
        return false;
    }
    if (::geteuid() != 0)
        return false;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kVariable), test);
    for (const char* v : {"GTEST_FILTER", "GTEST_OUTPUT", "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS",
                          "GTEST_SHARD_STATUS_FILE", "GTEST_REPEAT", "ODBCSYSINI", "TABULON_TEST_CHILD"})
        env.remove(QString::fromLatin1(v));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    // The ordinary user may not reach this program where it was built (a home folder closed to
    // others): it runs from a copy in a folder of its own.
    QTemporaryDir place;
    const QString self = place.filePath(QStringLiteral("test_faults"));
    if (!place.isValid() || ::chmod(QFile::encodeName(place.path()).constData(), 0755) != 0 ||
        !QFile::copy(QStringLiteral("/proc/self/exe"), self) ||
        ::chmod(QFile::encodeName(self).constData(), 0755) != 0) {
        ADD_FAILURE() << "could not place a copy of the test program for an ordinary user";
        return true;
    }
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(self, {QStringLiteral("--gtest_filter=") + test, QStringLiteral("--gtest_color=no")});
    if (!child.waitForStarted(30000) || !child.waitForFinished(240000)) {
        child.kill();
        child.waitForFinished(5000);
        ADD_FAILURE() << test.toStdString() << " did not run as an ordinary user:\n" << child.readAll().toStdString();
        return true;
    }
    const QByteArray output = child.readAll();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || !output.contains("[  PASSED  ] 1 test."))
        ADD_FAILURE() << test.toStdString() << " failed as an ordinary user (exit code " << child.exitCode() << "):\n"
                      << output.toStdString();
    return true;
}

} // namespace tabulon::faults
