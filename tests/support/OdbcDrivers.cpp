#include "support/OdbcDrivers.h"
#include "support/TestDatabase.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <glob.h>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

namespace tabulon::test {

namespace {

const char* const kChildVariable = "TABULON_TEST_CHILD";

// The first file that matches one of the patterns.
std::string findFile(std::initializer_list<const char*> patterns)
{
    for (const char* pattern : patterns) {
        glob_t g{};
        if (::glob(pattern, 0, nullptr, &g) == 0 && g.gl_pathc > 0) {
            std::string found = g.gl_pathv[0];
            ::globfree(&g);
            return found;
        }
        ::globfree(&g);
    }
    return {};
}

const char* name(SqlServerDriver d)
{
    switch (d) {
    case SqlServerDriver::Sqlite: return "SQLite";
    case SqlServerDriver::FreeTds: return "FreeTDS";
    case SqlServerDriver::Unregistered: return "no driver";
    }
    return "?";
}

// The process's private ODBCSYSINI folder and the meaning written into it.
class Registry {
public:
    static Registry& instance()
    {
        static Registry r;
        return r;
    }

    void use(SqlServerDriver driver)
    {
        std::lock_guard lock(mutex_);
        if (chosen_ && *chosen_ != driver)
            throw std::logic_error(std::string("This test process already reaches \"SQL Server\" as ") +
                                   name(*chosen_) + "; unixODBC cannot switch it to " + name(driver) +
                                   " (start the test with TABULON_RUN_IN_OWN_PROCESS()).");
        if (!chosen_)
            write(driver);
        chosen_ = driver;
    }

    std::string folder() const { return folder_; }

    ~Registry()
    {
        // Only the process that made the folder removes it (a forked child exits through here too).
        if (::getpid() == owner_ && !folder_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(folder_, ec);
        }
    }

private:
    Registry()
    {
        std::string base = std::filesystem::temp_directory_path().string() + "/tabulon-odbc-XXXXXX";
        if (!::mkdtemp(base.data()))
            throw std::runtime_error("cannot make a folder for the test odbcinst.ini");
        folder_ = base;
        owner_ = ::getpid();
        // Until a test says otherwise the name means the driver of the process's engine, so a
        // connection opened early in a test program still reaches a test database rather than
        // the system's driver.
        write(testEngine() == Engine::Tsql ? SqlServerDriver::FreeTds : SqlServerDriver::Sqlite);
        ::unsetenv("ODBCINSTINI");
        ::setenv("ODBCSYSINI", folder_.c_str(), 1);
    }

    void write(SqlServerDriver driver)
    {
        std::ofstream ini(folder_ + "/odbcinst.ini", std::ios::trunc);
        const std::string library = driverLibrary(driver);
        if (driver == SqlServerDriver::Unregistered) {
            ini << "[Some Other Driver]\nDescription=Not the one the program names\nDriver=/nonexistent/libnothing.so\n";
        } else {
            if (library.empty())
                throw std::runtime_error(std::string("the ") + name(driver) + " ODBC driver is not installed");
            ini << "[SQL Server]\nDescription=" << name(driver) << " behind the SQL Server driver name (tests)\n"
                << "Driver=" << library << "\n";
        }
        std::ofstream(folder_ + "/odbc.ini", std::ios::trunc);
    }

    std::mutex mutex_;
    std::optional<SqlServerDriver> chosen_;
    std::string folder_;
    pid_t owner_ = 0;
};

// ODBCSYSINI must name the private folder before the driver manager first looks at it.
const bool kFolderReady = (Registry::instance(), true);

} // namespace

std::string driverLibrary(SqlServerDriver driver)
{
    switch (driver) {
    case SqlServerDriver::Sqlite:
        return findFile({"/usr/lib/*/odbc/libsqlite3odbc.so", "/usr/lib/odbc/libsqlite3odbc.so",
                         "/usr/local/lib/libsqlite3odbc.so", "/usr/lib/*/libsqlite3odbc.so"});
    case SqlServerDriver::FreeTds:
        return findFile({"/usr/lib/*/odbc/libtdsodbc.so", "/usr/lib/odbc/libtdsodbc.so",
                         "/usr/local/lib/libtdsodbc.so", "/usr/lib/*/libtdsodbc.so"});
    case SqlServerDriver::Unregistered:
        break;
    }
    return {};
}

void useSqlServerDriver(SqlServerDriver driver)
{
    (void)kFolderReady;
    Registry::instance().use(driver);
}

std::string odbcSysIniFolder()
{
    return Registry::instance().folder();
}

bool rerunInOwnProcess()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString test = QString::fromUtf8(info->test_suite_name()) + QLatin1Char('.') + QString::fromUtf8(info->name());
    if (qEnvironmentVariable(kChildVariable) == test)
        return false; // this is the fresh process

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildVariable), test);
    // The child runs exactly this one test and writes no report files of its own.
    for (const char* v : {"GTEST_FILTER", "GTEST_OUTPUT", "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS",
                          "GTEST_SHARD_STATUS_FILE", "GTEST_REPEAT", "ODBCSYSINI"})
        env.remove(QString::fromLatin1(v));

    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QString self = QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string());
    child.start(self, {QStringLiteral("--gtest_filter=") + test, QStringLiteral("--gtest_color=no")});
    if (!child.waitForStarted(30000)) {
        ADD_FAILURE() << "could not start " << self.toStdString() << " again for " << test.toStdString();
        return true;
    }
    if (!child.waitForFinished(240000)) {
        child.kill();
        child.waitForFinished(5000);
        ADD_FAILURE() << test.toStdString() << " did not finish in its own process within 4 minutes:\n"
                      << child.readAll().toStdString();
        return true;
    }
    const QByteArray output = child.readAll();
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                        output.contains("[  PASSED  ] 1 test.");
    if (!passed)
        ADD_FAILURE() << test.toStdString() << " failed in its own process (exit code " << child.exitCode()
                      << "):\n" << output.toStdString();
    return true;
}

} // namespace tabulon::test
