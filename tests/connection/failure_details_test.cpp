// The details under "Could not connect.": the driver's own words, SQLSTATE included, and never
// the password that was typed.

#include "connection/ConnectionString.h"
#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "connection/odbc/Odbc.h"
#include "support/Fakes.h"
#include "support/Login7Listener.h"
#include "support/OdbcDrivers.h"
#include "support/TestDatabase.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace tabulon;
using tabulon::test::TestContext;

namespace {

// Holds ";" and "}", so the connection string carries it in braces with "}" doubled.
const QString kPassword = QStringLiteral("Zq7-Kestrel;9}Wx");

void expectNoPassword(const QString& text, const QString& password = kPassword)
{
    EXPECT_FALSE(text.contains(password, Qt::CaseInsensitive)) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Kestrel"), Qt::CaseInsensitive)) << text.toStdString();
}

// Presses "Test Connection" with these settings and returns the one box it shows.
Message pressTestConnection(const LoginFields& f)
{
    QTemporaryDir dir;
    TestContext t;
    SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
    Form1 form(t.ctx, store);
    form.Form_Load();
    t.prompter.clear();
    form.Text1->setText(f.server);
    form.Text9->setText(f.port);
    form.Text4->setText(f.database);
    form.Text2->setText(f.user);
    form.Text3->setText(f.password);
    form.Check6->setChecked(f.local);
    form.PushButton5->click();
    EXPECT_EQ(t.prompter.shown.size(), 1u);
    return t.prompter.shown.empty() ? Message{} : t.prompter.shown.front();
}

// Settings this engine refuses: SQLite cannot make a file in a folder that does not exist;
// the T-SQL server refuses the password.
LoginFields refusedLogin(const tabulon::test::TestDatabase& db)
{
    LoginFields f = db.login();
    f.password = kPassword;
    if (db.isSqlite())
        f.database = QStringLiteral("/nonexistent/folder/x.db");
    return f;
}

} // namespace

TEST(WithoutPassword, TakesOutEveryFormOfThePasswordInAnyCase)
{
    const struct {
        const char* text;
        const char* password;
        const char* expected;
    } cases[] = {
        {"Login failed for 'sa' with 'Secret1'.", "Secret1", "Login failed for 'sa' with ''."},
        {"SECRET1 and secret1", "Secret1", " and "},
        {"Pwd={a;b}}c};", "a;b}c", "Pwd=;"},          // as the connection string carries it
        {"Pwd=a;b}}c", "a;b}c", "Pwd="},              // the doubled braces alone
        {"xaabby", "ab", "xy"},                       // a removal that joins a new occurrence
        {"nothing to hide", "", "nothing to hide"},  // no password: nothing taken out
        {"nothing to hide", "zz", "nothing to hide"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withoutPassword(QString::fromUtf8(c.text), QString::fromUtf8(c.password)),
                  QString::fromUtf8(c.expected))
            << c.text << " / " << c.password;
}

TEST(ConnectionFailureDetails, OneLinePerRecordWithSqlStateAndNoPassword)
{
    // A driver that repeats the connection string in its complaint.
    const odbc::Error error(
        "irrelevant", "28000", 18456,
        {{"28000", 18456, "[FreeTDS][SQL Server]Login failed for user 'sa'.\n"},
         {"08001", 0, "[FreeTDS][SQL Server]Unable to connect: Pwd={Zq7-Kestrel;9}}Wx}; rejected"},
         {"01000", 0, "[FreeTDS]password zq7-kestrel;9}wx"}});
    const QString details = connectionFailureDetails(error, kPassword);
    EXPECT_EQ(details, QStringLiteral("SQLSTATE 28000, native error 18456: [FreeTDS][SQL Server]Login "
                                      "failed for user 'sa'.\n"
                                      "SQLSTATE 08001: [FreeTDS][SQL Server]Unable to connect: Pwd=; "
                                      "rejected\n"
                                      "SQLSTATE 01000: [FreeTDS]password"));
    expectNoPassword(details);

    // Without records: the description, with its SQLSTATE; any other exception: its text.
    EXPECT_EQ(connectionFailureDetails(odbc::Error("No driver Zq7-Kestrel;9}Wx", "IM002"), kPassword),
              QStringLiteral("SQLSTATE IM002: No driver"));
    EXPECT_EQ(connectionFailureDetails(std::runtime_error("out of memory"), kPassword),
              QStringLiteral("out of memory"));
    EXPECT_EQ(connectionFailureDetails(odbc::Error(""), kPassword),
              QStringLiteral("The driver gave no reason."));
}

TEST(TestConnectionButton, AFailureKeepsItsTextAndGivesTheDriversWordsWithoutThePassword)
{
    tabulon::test::TestDatabase db;
    const Message box = pressTestConnection(refusedLogin(db));
    EXPECT_EQ(box.text, kCouldNotConnect);
    EXPECT_EQ(box.text, QStringLiteral("Could not connect. Please check with your administrator."));
    EXPECT_EQ(box.title, QStringLiteral("Tabulon"));
    EXPECT_EQ(box.icon, MessageIcon::None);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_TRUE(box.details.startsWith(QStringLiteral("SQLSTATE "))) << box.details.toStdString();
    expectNoPassword(box.details);
    expectNoPassword(box.text);
    if (db.isTsql()) // the server's own refusal, as FreeTDS passes it on
        EXPECT_TRUE(box.details.contains(QStringLiteral("Login failed"), Qt::CaseInsensitive) ||
                    box.details.contains(QStringLiteral("password"), Qt::CaseInsensitive))
            << box.details.toStdString();

    // A success has nothing to detail.
    const Message ok = pressTestConnection(db.login());
    EXPECT_EQ(ok.text, QStringLiteral("Connection successful."));
    EXPECT_TRUE(ok.details.isEmpty());
}

TEST(TestConnectionButton, FreeTdsFailuresAreDetailedWithoutThePassword)
{
    TABULON_RUN_IN_OWN_PROCESS();
    tabulon::test::FreeTdsMapping freetds;
    tabulon::test::Login7Listener server; // reads the login, then hangs up
    for (const int port : {tabulon::test::unusedLoopbackPort(), server.port()}) {
        LoginFields f;
        f.server = QStringLiteral("127.0.0.1");
        f.port = QString::number(port);
        f.database = QStringLiteral("master");
        f.user = QStringLiteral("sa");
        f.password = kPassword;
        const Message box = pressTestConnection(f);
        EXPECT_EQ(box.text, kCouldNotConnect) << port;
        EXPECT_TRUE(box.details.contains(QStringLiteral("SQLSTATE 08001"))) << box.details.toStdString();
        expectNoPassword(box.details);
    }
    // The password did go out to the listener: it is the details that leave it out.
    ASSERT_FALSE(server.logins().empty());
    EXPECT_TRUE(QString::fromStdString(server.logins().front().password).contains(QStringLiteral("Kestrel")));
}

TEST(TestConnectionButton, AMissingDriverIsDetailedWithoutThePassword)
{
    TABULON_RUN_IN_OWN_PROCESS();
    tabulon::test::NoSqlServerDriver none;
    LoginFields f;
    f.local = true;
    f.server = QStringLiteral("localhost");
    f.password = kPassword;
    const Message box = pressTestConnection(f);
    EXPECT_EQ(box.text, kCouldNotConnect);
    // unixODBC names the library it could not open.
    EXPECT_TRUE(box.details.startsWith(QStringLiteral("SQLSTATE "))) << box.details.toStdString();
    EXPECT_TRUE(box.details.contains(QStringLiteral("[Driver Manager]"))) << box.details.toStdString();
    expectNoPassword(box.details);
}
