#include "LoopbackForwarder.h"
#include "app/WindowConventions.h"
#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "support/Fakes.h"
#include "support/Login7Listener.h"
#include "support/OdbcDrivers.h"
#include "support/TestDatabase.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabulon;
using tabulon::test::TestContext;

namespace {

const QString kSuccess = QStringLiteral("Connection successful.");
const QString kFailure = QStringLiteral("Could not connect. Please check with your administrator.");

// Presses "Test Connection" with the given settings; returns the one message shown, and checks
// that the hourglass was up while it showed and is gone afterwards.
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
    std::vector<Pointer> pointerWhileShown;
    t.prompter.onShow = [&](const Message&) { pointerWhileShown.push_back(form.pointer().pointer()); };
    form.PushButton5->click();
    EXPECT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_EQ(form.pointer().pointer(), Pointer::Default);
    if (t.prompter.shown.empty())
        return {};
    EXPECT_EQ(t.prompter.shown[0].title, QStringLiteral("Tabulon"));
    EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(t.prompter.shown[0].buttons, MessageButtons::Ok);
    if (t.prompter.shown[0].text == kSuccess)
        EXPECT_EQ(pointerWhileShown.front(), Pointer::Hourglass);
    return t.prompter.shown[0];
}

} // namespace

TEST(TestConnectionButton, SaysSuccessOrTheFixedFailureAndResetsThePointer)
{
    tabulon::test::TestDatabase db;
    EXPECT_EQ(pressTestConnection(db.login()).text, kSuccess);

    LoginFields missing = db.login();
    missing.database = QStringLiteral("/nonexistent/folder/db.sqlite");
    const Message failure = pressTestConnection(missing);
    EXPECT_EQ(failure.text, kFailure); // the driver's text is not shown here
}

TEST(TestConnectionButton, FreeTdsToADeadPortFailsQuickly)
{
    TABULON_RUN_IN_OWN_PROCESS();
    tabulon::test::FreeTdsMapping freetds;
    LoginFields f;
    f.server = QStringLiteral("127.0.0.1");
    f.port = QString::number(tabulon::test::unusedLoopbackPort());
    f.database = QStringLiteral("master");
    f.user = QStringLiteral("sa");
    f.password = QStringLiteral("pw");
    EXPECT_EQ(pressTestConnection(f).text, kFailure);
}

TEST(TestConnectionButton, ADriverNameNoOdbcinstKnowsFails)
{
    TABULON_RUN_IN_OWN_PROCESS();
    tabulon::test::NoSqlServerDriver none;
    LoginFields f;
    f.local = true;
    f.server = QStringLiteral("localhost");
    f.database = QStringLiteral("x");
    EXPECT_EQ(pressTestConnection(f).text, kFailure);
}

TEST(TestConnectionButton, LocalConnectionReachesTheServerOnTheDefaultPort)
{
    tabulon::test::TestDatabase db;
    if (!db.isTsql())
        GTEST_SKIP() << "about FreeTDS and a SQL Server's default port; SQLite's driver takes no server";
    const tabulon::test::TsqlServer server = tabulon::test::tsqlServer();
    tabulon::test::LoopbackForwarder forwarder(1433, server.host, std::stoi(server.port));
    LoginFields f = db.login();
    f.local = true;
    f.server = QString::fromStdString(forwarder.address());
    f.port = QStringLiteral("not a port"); // ignored when local
    EXPECT_EQ(pressTestConnection(f).text, kSuccess);
    EXPECT_EQ(forwarder.connections(), 1);
}
