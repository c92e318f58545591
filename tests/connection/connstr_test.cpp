// The one connection-string format, and the silent connection test through the real driver
// manager and the SQLite driver behind the name "SQL Server".

#include "connection/ConnectionString.h"
#include "connection/odbc/Odbc.h"
#include "support/OdbcDrivers.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tabulon;
using tabulon::test::TestDatabase;

namespace {

struct StringCase {
    const char* what;
    bool local;
    const char* server;
    const char* port;
    const char* database;
    const char* user;
    const char* password;
    const char* expected;
};

const StringCase kStrings[] = {
    {"the example, not local", false, "dbhost", "1433", "sales", "sa", "",
     "Driver={SQL Server};Server=dbhost,1433;Database=sales;Uid=sa;Pwd=;"},
    {"the example, local", true, "dbhost", "1433", "sales", "sa", "",
     "Driver={SQL Server};Server=dbhost;Database=sales;Uid=sa;Pwd=;"},
    {"an empty port keeps its comma", false, "dbhost", "", "sales", "sa", "",
     "Driver={SQL Server};Server=dbhost,;Database=sales;Uid=sa;Pwd=;"},
    {"local ignores whatever the port holds", true, "dbhost", "x;y }", "sales", "sa", "pw",
     "Driver={SQL Server};Server=dbhost;Database=sales;Uid=sa;Pwd=pw;"},
    {"all fields empty", false, "", "", "", "", "",
     "Driver={SQL Server};Server=,;Database=;Uid=;Pwd=;"},
    {"instance name and inner blanks stand as typed", true, "localhost\\SQLEXPRESS", "", "my sales", "a user",
     "pass word", "Driver={SQL Server};Server=localhost\\SQLEXPRESS;Database=my sales;Uid=a user;Pwd=pass word;"},
    {"a ';' in the password is enclosed", false, "h", "1", "d", "u", "a;b",
     "Driver={SQL Server};Server=h,1;Database=d;Uid=u;Pwd={a;b};"},
    {"a lone '}' needs no braces", false, "h", "1", "d", "u", "a}b",
     "Driver={SQL Server};Server=h,1;Database=d;Uid=u;Pwd=a}b;"},
    {"inside braces each '}' is doubled", false, "h", "1", "d", "u", "a;b}c",
     "Driver={SQL Server};Server=h,1;Database=d;Uid=u;Pwd={a;b}}c};"},
    {"a leading '{' is enclosed", false, "h", "1", "d", "u", "{x",
     "Driver={SQL Server};Server=h,1;Database=d;Uid=u;Pwd={{x};"},
    {"blanks at both ends are enclosed", false, "h", "1", "d", "u", " p ",
     "Driver={SQL Server};Server=h,1;Database=d;Uid=u;Pwd={ p };"},
    {"a blank at one end is enclosed", false, "h", "1", "d", "u", "p ",
     "Driver={SQL Server};Server=h,1;Database=d;Uid=u;Pwd={p };"},
    {"user and database take the same rule", false, "h", "1", "sales;2024", "dom;user", "",
     "Driver={SQL Server};Server=h,1;Database={sales;2024};Uid={dom;user};Pwd=;"},
    {"server and port are enclosed together", false, "h;x", "1433", "d", "u", "",
     "Driver={SQL Server};Server={h;x,1433};Database=d;Uid=u;Pwd=;"},
    {"an attribute typed into a field stays inside it", false, "h", "1", "d", "u", "x;Driver={Nope}",
     "Driver={SQL Server};Server=h,1;Database=d;Uid=u;Pwd={x;Driver={Nope}}};"},
    {"non-ASCII stands as typed", false, "h", "1", "Πωλήσεις", "Χρήστης", "κωδικός😀",
     "Driver={SQL Server};Server=h,1;Database=Πωλήσεις;Uid=Χρήστης;Pwd=κωδικός😀;"},
};

// A SQL Server login with the given password and a user for it in the test database; the
// login is dropped again at the end.
struct TemporaryLogin {
    const TestDatabase& db;
    std::string name;
    TemporaryLogin(const TestDatabase& database, const std::string& password)
        : db(database), name("tabulon_login_" + db.databaseName().toStdString())
    {
        std::string quoted;
        for (char c : password)
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        db.exec("CREATE LOGIN [" + name + "] WITH PASSWORD = N'" + quoted + "', DEFAULT_DATABASE = [" +
                db.databaseName().toStdString() + "];");
        db.exec("CREATE USER [" + name + "] FOR LOGIN [" + name + "];");
    }
    ~TemporaryLogin()
    {
        try {
            db.exec("DROP USER [" + name + "];");
            db.exec("DROP LOGIN [" + name + "];");
        } catch (const std::exception&) {
            // still in use: it goes with the server's run
        }
    }
};

void PrintTo(const StringCase& c, std::ostream* os)
{
    *os << c.what;
}

class ConnectionStringTable : public ::testing::TestWithParam<StringCase> {};

} // namespace

TEST_P(ConnectionStringTable, IsBuiltByteForByte)
{
    const StringCase& c = GetParam();
    LoginFields f;
    f.local = c.local;
    f.server = QString::fromUtf8(c.server);
    f.port = QString::fromUtf8(c.port);
    f.database = QString::fromUtf8(c.database);
    f.user = QString::fromUtf8(c.user);
    f.password = QString::fromUtf8(c.password);
    EXPECT_EQ(BuildConnectionString(f).toStdString(), c.expected) << c.what;
    EXPECT_EQ(connectionStringUtf8(f), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectionStringTable, ::testing::ValuesIn(kStrings));

TEST(ConnectionString, FixtureLoginGivesTheStringItsOwnConnectionUses)
{
    TestDatabase db;
    if (db.isSqlite()) {
        // "Local Connection" ticked, the database file, no user.
        EXPECT_EQ(db.connectionString(),
                  "Driver={SQL Server};Server=localhost;Database=" + db.databasePath().toStdString() + ";Uid=;Pwd=;");
    } else {
        // The server's host and port, its login, and the fixture's own database.
        const tabulon::test::TsqlServer s = tabulon::test::tsqlServer();
        EXPECT_EQ(db.connectionString(), "Driver={SQL Server};Server=" + s.host + "," + s.port + ";Database=" +
                                             db.databaseName().toStdString() + ";Uid=" + s.user + ";Pwd=" +
                                             s.password + ";");
    }
    EXPECT_EQ(db.connect().dbmsName(), odbc::Connection::open(db.connectionString()).dbmsName());
}

TEST(OpenTestConnection, TrueForTheTestDatabase)
{
    TestDatabase db;
    EXPECT_TRUE(OpenTestConnection(db.login()));
}

TEST(OpenTestConnection, FalseForADatabaseInAMissingFolder)
{
    TestDatabase db;
    LoginFields f = db.login();
    f.database = db.folder() + QStringLiteral("/no such folder/test.db");
    EXPECT_FALSE(OpenTestConnection(f));
    try {
        odbc::Connection::open(connectionStringUtf8(f));
        ADD_FAILURE() << "the connection opened";
    } catch (const odbc::Error& e) {
        EXPECT_FALSE(e.description().empty());
        EXPECT_FALSE(e.records().empty());
    }
}

TEST(OpenTestConnection, AttributeTypedIntoThePasswordDoesNotReachTheDriverManager)
{
    TestDatabase db;
    LoginFields f = db.login();
    f.password = QStringLiteral("x;Driver=NoSuchDriverLibrary");
    // SQLite's driver takes no password; a SQL Server checks it, so there a login of the
    // test's own has exactly that password.
    std::optional<TemporaryLogin> login;
    if (db.isTsql()) {
        login.emplace(db, f.password.toStdString());
        f.user = QString::fromStdString(login->name);
    }
    EXPECT_TRUE(OpenTestConnection(f));

    // The same text unquoted: the driver manager takes the last Driver= and tries to load it.
    const std::string unquoted = db.connectionString().substr(0, db.connectionString().size() - 1) +
                                 "x;Driver=NoSuchDriverLibrary;";
    try {
        odbc::Connection::open(unquoted);
        ADD_FAILURE() << "the unquoted attribute went unnoticed";
    } catch (const odbc::Error& e) {
        EXPECT_NE(e.description().find("NoSuchDriverLibrary"), std::string::npos) << e.description();
    }
}

TEST(OpenTestConnection, FalseWhenNoDriverOfThatNameIsKnown)
{
    TABULON_RUN_IN_OWN_PROCESS();
    tabulon::test::NoSqlServerDriver none;
    LoginFields f;
    f.local = true;
    f.server = QStringLiteral("localhost");
    f.database = QStringLiteral("/tmp/whatever.db");
    EXPECT_FALSE(OpenTestConnection(f));
    try {
        odbc::Connection::open(connectionStringUtf8(f));
        ADD_FAILURE() << "the connection opened";
    } catch (const odbc::Error& e) {
        // The driver manager's own words: it looked for a library of that name.
        EXPECT_NE(e.description().find("[unixODBC][Driver Manager]Can't open lib 'SQL Server'"), std::string::npos)
            << e.description();
    }
}
