#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "support/Fakes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tabulon;
using tabulon::test::TestContext;

namespace {

struct LoginWindow {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Vantorel.ini"));
    TestContext t;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Form1> form;

    void start()
    {
        form.reset();
        store = std::make_unique<SettingsStore>(path);
        form = std::make_unique<Form1>(t.ctx, *store);
        form->Form_Load();
    }
    QString stored(const QString& key)
    {
        QSettings s(path, QSettings::IniFormat);
        return s.value(QStringLiteral("Tabulon/") + key, QStringLiteral("<missing>")).toString();
    }
    void preset(const QString& key, const QString& value)
    {
        QSettings s(path, QSettings::IniFormat);
        s.setValue(QStringLiteral("Tabulon/") + key, value);
    }
};

int fileMode(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 0777);
}

} // namespace

TEST(LoginSettings, FirstRunShowsThePortAloneAndTypingIsStoredAtOnce)
{
    LoginWindow w;
    w.start();
    EXPECT_EQ(w.form->Text9->text(), QStringLiteral("1433"));
    for (QLineEdit* e : {w.form->Text1, w.form->Text2, w.form->Text3, w.form->Text4})
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_FALSE(w.form->Check6->isChecked());
    EXPECT_EQ(w.stored(keys::Local), QStringLiteral("0"));

    w.form->Text1->setFocus();
    QTest::keyClicks(w.form->Text1, QStringLiteral("dbhost"));
    EXPECT_EQ(w.stored(keys::Server), QStringLiteral("dbhost"));
    QTest::keyClicks(w.form->Text3, QStringLiteral("s;cr}t"));
    EXPECT_EQ(w.stored(keys::Password), QStringLiteral("s;cr}t"));
    w.form->Check6->click();
    EXPECT_EQ(w.stored(keys::Local), QStringLiteral("1"));
    EXPECT_EQ(fileMode(w.path), 0600);
}

TEST(LoginSettings, ClearedFieldsStayClearedOnTheNextStartThePortToo)
{
    LoginWindow w;
    w.start();
    w.form->Text1->setText(QStringLiteral("dbhost"));
    w.form->Text1->clear();
    w.form->Text9->clear();
    w.start();
    EXPECT_EQ(w.form->Text1->text(), QString());
    EXPECT_EQ(w.form->Text9->text(), QString());
    EXPECT_EQ(w.stored(keys::Port), QString());
}

TEST(LoginSettings, AnyLocalConnectionValueButZeroTicksTheBox)
{
    const struct {
        const char* stored;
        bool ticked;
    } cases[] = {{"0", false}, {"1", true}, {"", true}, {"x", true}};
    for (const auto& c : cases) {
        LoginWindow w;
        w.preset(keys::Local, QString::fromUtf8(c.stored));
        w.start();
        EXPECT_EQ(w.form->Check6->isChecked(), c.ticked) << c.stored;
        EXPECT_EQ(w.stored(keys::Local), c.ticked ? QStringLiteral("1") : QStringLiteral("0"));
    }
}

TEST(LoginSettings, FieldsAreRestoredAndTheFileIsOwnerOnly)
{
    LoginWindow w;
    w.preset(keys::Server, QStringLiteral("Αθήνα-db"));
    w.preset(keys::User, QStringLiteral("sa"));
    w.preset(keys::Password, QStringLiteral("pw"));
    w.preset(keys::Database, QStringLiteral("sales"));
    w.preset(keys::Port, QStringLiteral("14330"));
    ::chmod(QFile::encodeName(w.path).constData(), 0644);
    w.start();
    const LoginFields f = w.form->loginFields();
    EXPECT_EQ(f.server, QStringLiteral("Αθήνα-db"));
    EXPECT_EQ(f.user, QStringLiteral("sa"));
    EXPECT_EQ(f.password, QStringLiteral("pw"));
    EXPECT_EQ(f.database, QStringLiteral("sales"));
    EXPECT_EQ(f.port, QStringLiteral("14330"));
    EXPECT_EQ(fileMode(w.path), 0600);
}

TEST(LoginWindow, TabbingIntoAFieldSelectsAllOfIt)
{
    LoginWindow w;
    w.start();
    w.form->Text2->setText(QStringLiteral("someone"));
    w.form->show();
    QApplication::setActiveWindow(w.form.get());
    w.form->Text1->setFocus();
    QTest::keyClick(w.form->Text1, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w.form->Text2);
    EXPECT_EQ(w.form->Text2->selectedText(), QStringLiteral("someone"));
}

TEST(LoginWindow, ControlsCaptionsAndTabOrder)
{
    LoginWindow w;
    w.start();
    EXPECT_EQ(w.form->windowTitle(), QStringLiteral("Tabulon"));
    EXPECT_EQ(w.form->Text3->echoMode(), QLineEdit::Password);
    EXPECT_EQ(w.form->Frame1->title(), QStringLiteral("MS SQL Server Login"));
    EXPECT_EQ(w.form->PushButton3->text(), QStringLiteral("Next >"));
    const QList<QWidget*> order = {w.form->Text1, w.form->Text9, w.form->Text2, w.form->Text3,
                                   w.form->Text4, w.form->PushButton5, w.form->PushButton2,
                                   w.form->Check6, w.form->PushButton3};
    for (int i = 0; i + 1 < order.size(); ++i)
        EXPECT_EQ(order[i]->nextInFocusChain(), order[i + 1]) << i;
}

TEST(LoginWindow, HelpShowsTheAdviceThenOpensThePictureOnlyOnYes)
{
    LoginWindow w;
    w.t.ctx.programDir = QStringLiteral("/opt/tabulon");
    w.start();
    w.t.prompter.answers = {MessageAnswer::Ok, MessageAnswer::No};
    w.form->PushButton2->click();
    ASSERT_EQ(w.t.prompter.shown.size(), 2u);
    const QString text = w.t.prompter.shown[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral(
        "If you cannot establish connection to your MS SQL Server database with this program, "
        "please go to: \r\r")));
    EXPECT_TRUE(text.contains(QStringLiteral(
        "\r\rDownload and install the EMS SQL Manager 2005 Lite for SQL Server. Try to connect to "
        "the same database (with the same login information you are using here). This will "
        "determine if the login you are using is correct.\r\rIf you are using Microsoft SQL Server "
        "Express Edition and connecting locally, you may need to use\r\rlocalhost\\SQLEXPRESS\r\r"
        "for example, for Server.")));
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    EXPECT_EQ(w.t.prompter.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(w.t.prompter.shown[1].text,
              QStringLiteral("Would you like to see an image of how I connect locally?"));
    EXPECT_EQ(w.t.prompter.shown[1].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(w.t.launcher.opened.empty());

    w.t.prompter.answers = {MessageAnswer::Ok, MessageAnswer::Yes};
    w.form->PushButton2->click();
    ASSERT_EQ(w.t.launcher.opened.size(), 1u);
    EXPECT_EQ(w.t.launcher.opened[0].toLocalFile(),
              QStringLiteral("/opt/tabulon/local-connection-example.jpg"));
}

TEST(LoginWindow, ABadSettingsFileIsKeptAsideAndSaidOnce)
{
    LoginWindow w;
    {
        QFile f(w.path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Tabulon\nMSServer=\x01\x02 broken");
    }
    w.start();
    EXPECT_EQ(w.form->Text9->text(), QStringLiteral("1433"));
    // Typing still works and is stored in a fresh file.
    w.form->Text1->setText(QStringLiteral("dbhost"));
    EXPECT_EQ(w.stored(keys::Server), QStringLiteral("dbhost"));
}
