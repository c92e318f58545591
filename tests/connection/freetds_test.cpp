// The real SQL Server driver, FreeTDS, behind the name "SQL Server", against loopback stand-ins:
// a port where nothing listens, and a listener that reads the LOGIN7 packet. Each test runs in a
// process of its own (the name cannot mean SQLite and FreeTDS in one process).

#include "connection/ConnectionString.h"
#include "connection/odbc/Odbc.h"
#include "support/Login7Listener.h"
#include "support/OdbcDrivers.h"

#include <gtest/gtest.h>

using namespace tabulon;
using tabulon::test::FreeTdsMapping;
using tabulon::test::Login7;
using tabulon::test::Login7Listener;

namespace {

LoginFields loopback(int port)
{
    LoginFields f;
    f.local = false;
    f.server = QStringLiteral("127.0.0.1");
    f.port = QString::number(port);
    f.database = QStringLiteral("sales");
    f.user = QStringLiteral("sa");
    f.password = QStringLiteral("secret");
    return f;
}

// Opens with the program's own string and hands back the driver's refusal.
odbc::Error refusal(const LoginFields& f)
{
    try {
        odbc::Connection::open(connectionStringUtf8(f));
    } catch (const odbc::Error& e) {
        return e;
    }
    ADD_FAILURE() << "the connection opened";
    return odbc::Error("");
}

} // namespace

TEST(FreeTds, NothingListeningFailsWithTheDriversText)
{
    TABULON_RUN_IN_OWN_PROCESS();
    FreeTdsMapping tds;
    const LoginFields f = loopback(tabulon::test::unusedLoopbackPort());
    EXPECT_FALSE(OpenTestConnection(f));
    const odbc::Error e = refusal(f);
    EXPECT_NE(e.description().find("[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or does not exist"),
              std::string::npos)
        << e.description();
    EXPECT_EQ(e.sqlState(), "08S01") << e.description();
}

TEST(FreeTds, Login7CarriesWhatTheLoginWindowHolds)
{
    TABULON_RUN_IN_OWN_PROCESS();
    FreeTdsMapping tds;
    Login7Listener server;

    enum Field { Password, User, Database };
    struct Case {
        Field field;
        const char* typed;
        const char* arrives; // what the driver put into LOGIN7
    };
    const Case cases[] = {
        // Whole.
        {Password, "secret", "secret"},
        {Password, "", ""},
        {Password, "a;b", "a;b"},
        {Password, "a}b", "a}b"},
        {Password, "{x", "{x"},
        {Password, " p ", " p "},
        {Password, "κωδικός 😀", "κωδικός 😀"},
        {Password, "p}", "p}"},
        {User, "u}", "u}"},
        {User, "dom;user", "dom;user"},
        {User, " sa", " sa"},
        {Database, "sales;2024", "sales;2024"},
        {Database, "Πωλήσεις", "Πωλήσεις"},
        // FreeTDS 1.3.17 reads an enclosed value up to the first "};" and keeps "}}" as it
        // stands: a "}" inside braces arrives doubled...
        {Password, "a;b}c", "a;b}}c"},
        {Password, "a;b}", "a;b}}"},
        {Database, "{db}", "{db}}"},
        {Password, "x;Driver={Nope}", "x;Driver={Nope}}"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string("typed [") + k.typed + "]");
        LoginFields f = loopback(server.port());
        QString& field = k.field == Password ? f.password : k.field == User ? f.user : f.database;
        field = QString::fromUtf8(k.typed);
        const std::size_t before = server.logins().size();
        EXPECT_FALSE(OpenTestConnection(f));
        const std::vector<Login7> logins = server.logins();
        ASSERT_EQ(logins.size(), before + 1) << "one login per attempt";
        const Login7& l = logins.back();
        const std::string& arrived = k.field == Password ? l.password : k.field == User ? l.userName : l.database;
        EXPECT_EQ(arrived, k.arrives);
        // The other fields are untouched by the quoting of this one.
        if (k.field != Password) {
            EXPECT_EQ(l.password, "secret");
        }
        if (k.field != User) {
            EXPECT_EQ(l.userName, "sa");
        }
        if (k.field != Database) {
            EXPECT_EQ(l.database, "sales");
        }
    }

    // ...and a value holding "};" ends there for FreeTDS: the rest is read as attributes of its own.
    LoginFields f = loopback(server.port());
    f.password = QStringLiteral("a};Database=other");
    const std::string text = connectionStringUtf8(f);
    EXPECT_EQ(text.substr(text.rfind(";Pwd=")), ";Pwd={a}};Database=other};");
    EXPECT_FALSE(OpenTestConnection(f));
    ASSERT_FALSE(server.logins().empty());
    EXPECT_EQ(server.logins().back().password, "a}");
    EXPECT_EQ(server.logins().back().database, "other}");

    // What else FreeTDS sends: TDS 7.4 and this machine's name.
    const Login7 last = server.logins().back();
    EXPECT_EQ(last.tdsVersion, 0x74000004u);
    EXPECT_FALSE(last.hostName.empty());
    EXPECT_EQ(last.serverName.rfind("127.0.0.1", 0), 0u) << last.serverName;
}

TEST(FreeTds, LoginCutOffByTheServerFailsWithTheDriversText)
{
    TABULON_RUN_IN_OWN_PROCESS();
    FreeTdsMapping tds;
    Login7Listener server;
    const odbc::Error e = refusal(loopback(server.port()));
    EXPECT_NE(e.description().find("[FreeTDS][SQL Server]"), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("Unexpected EOF from the server"), std::string::npos) << e.description();
    EXPECT_GE(e.records().size(), 2u); // every record, in order
    EXPECT_EQ(e.sqlState(), e.records().front().sqlState);
    EXPECT_EQ(server.connections(), 1);
}
