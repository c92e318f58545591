// "Local Connection": a connection string without a port reaches SQL Server's default port
// through FreeTDS, and only such a string is given that port.

#include "LoopbackForwarder.h"
#include "connection/ConnectionString.h"
#include "connection/odbc/FreeTdsPort.h"
#include "connection/odbc/Odbc.h"
#include "support/Login7Listener.h"
#include "support/OdbcDrivers.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sqlext.h>

using namespace tabulon;
using tabulon::test::LoopbackForwarder;
using tabulon::test::TestDatabase;

namespace {

// The environment handle the decision looks up driver names in.
struct Environment {
    SQLHENV h = SQL_NULL_HENV;
    Environment()
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h);
        SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~Environment() { SQLFreeHandle(SQL_HANDLE_ENV, h); }
};

// Sets an environment variable for the scope, and puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The fixture's login with "Local Connection" ticked, its server reached through a forwarder
// that listens on SQL Server's default port.
LoginFields localThrough(const LoopbackForwarder& forwarder, const TestDatabase& db)
{
    LoginFields f = db.login();
    f.local = true;
    f.server = QString::fromStdString(forwarder.address());
    f.port = QStringLiteral("9"); // ignored when local
    return f;
}

} // namespace

TEST(ConnectionAttributes, AreReadAsTheDriverManagerReadsThem)
{
    using odbc::detail::connectionAttributes;
    const auto a = connectionAttributes("Driver={SQL Server};Server=h;Database={a;b}}c};Uid= u ;pwd={};x;PORT=7");
    EXPECT_EQ(a.at("DRIVER"), "SQL Server");
    EXPECT_EQ(a.at("SERVER"), "h");
    EXPECT_EQ(a.at("DATABASE"), "a;b}c");
    EXPECT_EQ(a.at("UID"), " u ");
    EXPECT_EQ(a.at("PWD"), "");
    EXPECT_EQ(a.at("PORT"), "7");
    EXPECT_EQ(a.count("X"), 0u);
    // The first of two wins.
    EXPECT_EQ(connectionAttributes("Server=a;SERVER=b;").at("SERVER"), "a");
}

TEST(FreeTdsDefaultPort, OnlyAStringWithoutPortOrInstanceToFreeTdsGetsOne)
{
    ScopedVariable noUserPort("TDSPORT", nullptr);
    Environment env;
    const std::string freetds = "Driver=" + tabulon::test::driverLibrary(tabulon::test::SqlServerDriver::FreeTds);
    const std::string sqlite = "Driver=" + tabulon::test::driverLibrary(tabulon::test::SqlServerDriver::Sqlite);
    struct Case {
        std::string text;
        bool needsPort;
    };
    const Case cases[] = {
        {freetds + ";Server=dbhost;Database=d;Uid=u;Pwd=p;", true},
        {freetds + ";Server={dbhost};Database=d;Uid=u;Pwd=p;", true},
        {freetds + ";Server=dbhost,1433;Database=d;Uid=u;Pwd=p;", false},
        {freetds + ";Server=dbhost,;Database=d;Uid=u;Pwd=p;", false},
        {freetds + ";Server=localhost\\SQLEXPRESS;Database=d;Uid=u;Pwd=p;", false},
        {freetds + ";Server=dbhost;Port=2433;Database=d;", false},
        {freetds + ";Servername=alias;Database=d;", false},
        {freetds + ";Server=;Database=d;", false},
        {"DSN=mine;Server=dbhost;", false},
        {sqlite + ";Server=localhost;Database=/tmp/x.db;Uid=;Pwd=;", false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(odbc::detail::needsFreeTdsDefaultPort(env.h, k.text), k.needsPort) << k.text;

    // By its name: what "SQL Server" means in this process decides.
    TestDatabase db;
    EXPECT_EQ(odbc::detail::needsFreeTdsDefaultPort(env.h, "Driver={SQL Server};Server=h;Database=d;Uid=;Pwd=;"),
              db.isTsql());

    // A TDSPORT of the user's own stands for every connection: nothing is added to it.
    ScopedVariable userPort("TDSPORT", "2433");
    EXPECT_FALSE(odbc::detail::needsFreeTdsDefaultPort(env.h, freetds + ";Server=dbhost;Database=d;"));
}

TEST(LocalConnection, ReachesTheDefaultPortThroughFreeTds)
{
    TestDatabase db;
    if (!db.isTsql())
        GTEST_SKIP() << "about FreeTDS and a SQL Server's default port; SQLite's driver takes no server";
    ScopedVariable noUserPort("TDSPORT", nullptr);
    db.exec("CREATE TABLE [stock] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(20) NULL);"
            "INSERT INTO [stock] VALUES (1, N'Ω one');");
    const tabulon::test::TsqlServer server = tabulon::test::tsqlServer();
    LoopbackForwarder forwarder(1433, server.host, std::stoi(server.port));
    const LoginFields local = localThrough(forwarder, db);

    // The string stays as it is built: no port in it.
    const std::string text = connectionStringUtf8(local);
    EXPECT_EQ(text, "Driver={SQL Server};Server=" + forwarder.address() + ";Database=" + db.databaseName().toStdString() +
                        ";Uid=" + server.user + ";Pwd=" + server.password + ";");

    // What "Next >" checks first, then the catalogue and the rows through that connection.
    EXPECT_TRUE(OpenTestConnection(local));
    odbc::Connection c = odbc::Connection::open(text);
    bool listed = false;
    for (const auto& [type, name] : c.tables())
        listed = listed || (type == "TABLE" && QString::fromStdString(name).compare("stock", Qt::CaseInsensitive) == 0);
    EXPECT_TRUE(listed);
    odbc::ResultSet rs = c.query("SELECT [name] FROM [stock];");
    ASSERT_TRUE(rs.fetchBlock());
    EXPECT_EQ(rs.cell(0, 0).bytes, "Ω one");
    EXPECT_GE(forwarder.connections(), 2);

    // The port is given to that connect only: none is left in the environment, and a string
    // with a port of its own still goes to that port.
    EXPECT_EQ(std::getenv("TDSPORT"), nullptr);
    LoginFields elsewhere = db.login();
    elsewhere.local = false;
    elsewhere.server = QStringLiteral("127.0.0.1");
    elsewhere.port = QString::number(tabulon::test::unusedLoopbackPort());
    EXPECT_FALSE(OpenTestConnection(elsewhere));
}

TEST(LocalConnection, AUsersOwnTdsPortIsKept)
{
    TestDatabase db;
    if (!db.isTsql())
        GTEST_SKIP() << "about FreeTDS's TDSPORT; SQLite's driver takes no server";
    const tabulon::test::TsqlServer server = tabulon::test::tsqlServer();
    LoopbackForwarder forwarder(1433, server.host, std::stoi(server.port));
    // The user sends every FreeTDS connection to a port where nothing listens: so be it.
    ScopedVariable userPort("TDSPORT", std::to_string(tabulon::test::unusedLoopbackPort()).c_str());
    EXPECT_FALSE(OpenTestConnection(localThrough(forwarder, db)));
    EXPECT_EQ(forwarder.connections(), 0);
}
