// The login window's "Next >" and the start-up: a connection the person asked for that fails is
// said (with the driver's words in the details), one tried at start-up is not; and the start-up
// note about the missing PDF printer says how to add it here.

#include "app/WindowFlow.h"
#include "connection/ConnectionString.h"
#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "export/ExportActions.h"
#include "support/Fakes.h"
#include "support/TestDatabase.h"
#include "tables/Form2.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace tabulon;
using tabulon::test::TestContext;
using tabulon::test::TestDatabase;

namespace {

const QString kPassword = QStringLiteral("Zq7-Kestrel;9}Wx");

// Settings this engine refuses: SQLite cannot make a file in a folder that does not exist;
// the T-SQL server refuses the password.
LoginFields refusedLogin(const TestDatabase& db)
{
    LoginFields f = db.login();
    f.password = kPassword;
    if (db.isSqlite())
        f.database = QStringLiteral("/nonexistent/folder/x.db");
    return f;
}

// The program on a settings file of its own holding these login fields.
struct Program {
    QTemporaryDir dir;
    TestContext t;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<WindowFlow> flow;

    explicit Program(const LoginFields& f, bool pdfPrinterInstalled = true)
    {
        const QString path = dir.filePath(QStringLiteral("Vantorel.ini"));
        {
            QSettings s(path, QSettings::IniFormat);
            s.setValue(QStringLiteral("Tabulon/") + keys::Server, f.server);
            s.setValue(QStringLiteral("Tabulon/") + keys::Port, f.port.isEmpty() ? QStringLiteral("1433") : f.port);
            s.setValue(QStringLiteral("Tabulon/") + keys::User, f.user);
            s.setValue(QStringLiteral("Tabulon/") + keys::Password, f.password);
            s.setValue(QStringLiteral("Tabulon/") + keys::Database, f.database);
            s.setValue(QStringLiteral("Tabulon/") + keys::Local, f.local ? "1" : "0");
        }
        if (pdfPrinterInstalled)
            t.printers.printers = {{QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
        store = std::make_unique<SettingsStore>(path);
        flow = std::make_unique<WindowFlow>(t.ctx, *store);
    }
    Form1& login() { return flow->form1(); }
    bool onChooser() { return flow->form2().isVisible(); }
};

} // namespace

TEST(LoginNext, AFailedNextSaysSoWithTheDriversWordsButTheStartUpStaysSilent)
{
    TestDatabase db;
    Program p(refusedLogin(db));

    // Start-up: the stored server does not answer; the login window stays, nothing is said.
    p.flow->start();
    EXPECT_TRUE(p.t.prompter.shown.empty()) << p.t.prompter.texts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(p.login().isVisible());
    EXPECT_FALSE(p.onChooser());

    // The person presses "Next >": the same box as "Test Connection" gives.
    p.login().PushButton3->click();
    ASSERT_EQ(p.t.prompter.shown.size(), 1u);
    const Message& box = p.t.prompter.shown.front();
    EXPECT_EQ(box.text, QStringLiteral("Could not connect. Please check with your administrator."));
    EXPECT_EQ(box.title, QStringLiteral("Tabulon"));
    EXPECT_EQ(box.icon, MessageIcon::None);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_TRUE(box.details.startsWith(QStringLiteral("SQLSTATE "))) << box.details.toStdString();
    EXPECT_FALSE(box.details.contains(QStringLiteral("Kestrel"), Qt::CaseInsensitive)) << box.details.toStdString();
    EXPECT_TRUE(p.login().isVisible());
    EXPECT_FALSE(p.onChooser());
    EXPECT_TRUE(p.t.prompter.errors().empty());

    // Put right, "Next >" goes on to the chooser without a word.
    p.t.prompter.clear();
    const LoginFields good = db.login();
    p.login().Text3->setText(good.password);
    p.login().Text4->setText(good.database);
    p.login().PushButton3->click();
    EXPECT_TRUE(p.t.prompter.shown.empty()) << p.t.prompter.texts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(p.onChooser());
    EXPECT_FALSE(p.login().isVisible());
}

TEST(LoginNext, AReachableStoredServerOpensTheChooserAtStartUpWithoutAWord)
{
    TestDatabase db;
    Program p(db.login());
    p.flow->start();
    EXPECT_TRUE(p.t.prompter.shown.empty()) << p.t.prompter.texts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(p.onChooser());
    EXPECT_FALSE(p.login().isVisible());
}

TEST(StartUpPrinterCheck, TheMessageKeepsItsTextAndItsDetailsSayHowToAddThePrinterHere)
{
    LoginFields none; // no stored server: no connection is tried
    Program missing(none, /*pdfPrinterInstalled=*/false);
    missing.flow->start();
    ASSERT_EQ(missing.t.prompter.shown.size(), 1u);
    const Message& box = missing.t.prompter.shown.front();
    EXPECT_EQ(box.text, pdfPrinterMissingText());
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("Vantorel PDF Writer is not installed. Please follow "
                                                   "these instructions:\r\n\r\n1) Go to Control Panel")));
    EXPECT_EQ(box.title, QStringLiteral("Tabulon"));
    EXPECT_EQ(box.icon, MessageIcon::None);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(box.details, pdfPrinterSetupDetails());
    const QString command = QStringLiteral("lpadmin -p Vantorel_PDF_Writer -D \"Vantorel PDF Writer\" "
                                           "-v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd -E");
    EXPECT_TRUE(box.details.contains(command)) << box.details.toStdString();
    EXPECT_TRUE(box.details.contains(QStringLiteral("scripts/setup-pdf-printer.sh")));
    EXPECT_TRUE(box.details.contains(QStringLiteral("apt-get install cups printer-driver-cups-pdf")));

    // The command quoted is the one the setup script runs, with its values filled in.
    QFile script(QStringLiteral(TABULON_SOURCE_DIR "/scripts/setup-pdf-printer.sh"));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString source = QString::fromUtf8(script.readAll());
    for (const char* line : {"QUEUE=\"Vantorel_PDF_Writer\"", "DESCRIPTION=\"Vantorel PDF Writer\"",
                             "PPD=\"/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd\"",
                             "lpadmin -p \"$QUEUE\" -D \"$DESCRIPTION\" -v cups-pdf:/ -P \"$PPD\" -E"})
        EXPECT_TRUE(source.contains(QString::fromUtf8(line))) << line;

    // With the printer in place nothing is said.
    Program present(none, /*pdfPrinterInstalled=*/true);
    present.flow->start();
    EXPECT_TRUE(present.t.prompter.shown.empty());
}
