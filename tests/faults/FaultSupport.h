#pragma once

// The whole program on a settings file of its own, pointed at a fresh database of the engine the
// test process runs on (a SQLite file or a database on a T-SQL server), driven through its real
// windows (offscreen) as a person drives them; and the means to look at what reached the
// database and the disk afterwards, apart from the program.

#include "app/WindowFlow.h"
#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "support/Fakes.h"
#include "support/TestDatabase.h"
#include "tables/DataGrid.h"
#include "tables/Form2.h"
#include "tables/Form3.h"
#include "tables/RowSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace tabulon::faults {

using Rows = std::vector<QStringList>;

// Lets the event loop deliver what a key or a click queued (the grid speaks after its editor
// has closed).
inline void settle()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

struct Program {
    test::TestDatabase db;
    QTemporaryDir dir;
    test::TestContext t;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<WindowFlow> flow;

    // With `remembered`, the settings hold the fixture's database, so the program advances
    // straight to the chooser at start-up.
    explicit Program(bool remembered = true)
    {
        if (remembered) {
            QSettings s(settingsPath(), QSettings::IniFormat);
            remember(s, db.login());
        }
        t.printers.printers = {{QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    }
    ~Program()
    {
        flow.reset();
        store.reset();
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("Vantorel.ini")); }

    // Every login field of `f`, as the login window stores them.
    static void remember(QSettings& s, const LoginFields& f)
    {
        s.setValue(QStringLiteral("Tabulon/MSServer"), f.server);
        s.setValue(QStringLiteral("Tabulon/Port"), f.port);
        s.setValue(QStringLiteral("Tabulon/MSUser"), f.user);
        s.setValue(QStringLiteral("Tabulon/MSPassword"), f.password);
        s.setValue(QStringLiteral("Tabulon/MSDatabase"), f.database);
        s.setValue(QStringLiteral("Tabulon/Local Connection"), f.local ? QStringLiteral("1") : QStringLiteral("0"));
    }

    // Types the fixture's login into the login window, field by field.
    void typeLogin()
    {
        const LoginFields f = db.login();
        login().Text1->setText(f.server);
        login().Text9->setText(f.port);
        login().Text2->setText(f.user);
        login().Text3->setText(f.password);
        login().Text4->setText(f.database);
        login().Check6->setChecked(f.local);
    }

    void start()
    {
        store = std::make_unique<SettingsStore>(settingsPath());
        flow = std::make_unique<WindowFlow>(t.ctx, *store);
        flow->start();
    }

    Form1& login() { return flow->form1(); }
    Form2& chooser() { return flow->form2(); }
    Form3& editor() { return flow->form3(); }
    DataGrid& grid() { return *editor().DataGrid1; }
    RowSet* rows() { return grid().rowSet(); }

    QStringList listed()
    {
        QStringList names;
        for (int i = 0; i < chooser().List1->count(); ++i)
            names << chooser().List1->item(i)->text();
        return names;
    }

    // The chooser's entry for the table (on T-SQL whatever its case, as below); empty when the
    // table is not listed.
    QString listedAs(const QString& table)
    {
        for (const QString& entry : listed())
            if (entry == table)
                return entry;
        if (db.isTsql())
            for (const QString& entry : listed())
                if (entry.compare(table, Qt::CaseInsensitive) == 0)
                    return entry;
        return {};
    }
    bool isListed(const QString& table) { return !listedAs(table).isEmpty(); }

    // Chooses the table in the chooser and presses "Next >". False when it is not listed.
    // The T-SQL test engine lists names lower-cased (SQL Server as they were made): there the
    // entry is found whatever its case.
    bool open(const QString& table)
    {
        auto found = chooser().List1->findItems(table, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (found.isEmpty() && db.isTsql())
            found = chooser().List1->findItems(table, Qt::MatchFixedString);
        if (found.isEmpty())
            return false;
        chooser().List1->setCurrentItem(found.first());
        chooser().PushButton3->click();
        settle();
        QWidget* window = &editor();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        grid().setFocus();
        settle();
        return grid().hasTable();
    }

    QModelIndex at(int row, int column) { return grid().model()->index(row, column); }
    QString shown(int row, int column) { return at(row, column).data().toString(); }
    int currentRow() { return grid().currentIndex().row(); }

    // Makes the cell current as a click would (leaving the row writes it first).
    void go(int row, int column)
    {
        grid().setFocus();
        grid().setCurrentIndex(at(row, column));
        settle();
    }

    // F2, the text over what was there, Enter: as typed into the current cell.
    void type(const QString& text)
    {
        grid().setFocus();
        QTest::keyClick(&grid(), Qt::Key_F2);
        auto* editorBox = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editorBox, nullptr) << "no cell editor opened";
        editorBox->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editorBox, Qt::Key_Delete);
        else
            editorBox->insert(text); // key events know no letters beyond ASCII
        QTest::keyClick(editorBox, Qt::Key_Return);
        settle();
    }

    void typeAt(int row, int column, const QString& text)
    {
        go(row, column);
        type(text);
    }

    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(&grid(), k, m);
        settle();
    }

    bool inEdit(int row) { return rows() && rows()->hasPendingEdit(row); }

    // Every message shown since the last call, and forgets them.
    QStringList said()
    {
        QStringList texts = t.prompter.texts();
        t.prompter.clear();
        return texts;
    }
};

// The T-SQL test engine (Babelfish), where it differs from SQL Server in what a test can see.
inline bool isTsqlTestEngine(const test::TestDatabase& db)
{
    return db.isTsql() && db.value("SELECT @@VERSION;").contains(QStringLiteral("Babelfish"));
}

// A connection of "someone else", held open for as long as the test needs it, e.g. to keep a
// transaction and its locks. On SQLite it goes straight through SQLite (the library the driver
// uses) to the database file; on T-SQL it is an ODBC connection of its own to the fixture's
// database, whose BEGIN TRAN stays open on the session until ROLLBACK or COMMIT.
class OtherConnection {
public:
    explicit OtherConnection(const test::TestDatabase& db);
    ~OtherConnection();
    OtherConnection(const OtherConnection&) = delete;
    OtherConnection& operator=(const OtherConnection&) = delete;

    // Runs a script in the engine's own dialect; false (with the engine's message in error())
    // when it is refused.
    bool exec(const std::string& script);
    const std::string& error() const { return error_; }

    // SQLite only: from now on, connections opened in this process share one cache per
    // database, so that a write transaction of one connection makes the others fail at once
    // with "database table is locked" instead of waiting (the driver waits up to 100 s for a
    // lock otherwise). Process-wide: only in a test that runs in its own process.
    static void shareCacheInThisProcess();

private:
    void* db_ = nullptr;                          // SQLite
    std::unique_ptr<odbc::Connection> odbc_;      // T-SQL
    std::string error_;
};

// T-SQL: a login of the program's own, for rights that the test takes away as a database
// administrator would, or for a password of the test's choosing. It may read and change
// `table`, and the program's settings name it. The login is the server's, so it is dropped at
// the end, after the program has let go of its connections.
class Clerk {
public:
    Clerk(Program& p, const std::string& table, std::string password = "Clerk#2026x");
    ~Clerk();
    Clerk(const Clerk&) = delete;
    Clerk& operator=(const Clerk&) = delete;
    const std::string& name() const { return name_; }

private:
    Program& p_;
    std::string table_;
    std::string name_;
};

// Acts on a modal window from inside its own event loop: `action` runs once a visible
// top-level window of class T shows (the window is handed in).
template <typename T>
void whenShown(std::function<void(T*)> action, int triesLeft = 400)
{
    QTimer::singleShot(5, [action = std::move(action), triesLeft]() mutable {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<T*>(w); window && window->isVisible()) {
                action(window);
                return;
            }
        }
        if (triesLeft > 0)
            whenShown<T>(std::move(action), triesLeft - 1);
        else
            ADD_FAILURE() << "the " << T::staticMetaObject.className() << " window never showed";
    });
}

// Text of a list of messages for failure output.
inline std::string joined(const QStringList& texts)
{
    return texts.join(QStringLiteral("\n----\n")).toStdString();
}

} // namespace tabulon::faults

namespace tabulon::faults {

// Runs the current test as an ordinary user when the suite runs as root (as CI does), where
// file permissions would not hold the program back: the test runs again in a fresh process of
// this test program that gives up root first. True in the calling process (whose test body
// should then return), false where the test is to go on.
bool rerunUnprivileged();

} // namespace tabulon::faults

#define TABULON_RUN_AS_ORDINARY_USER()                      \
    do {                                                    \
        if (::tabulon::faults::rerunUnprivileged())         \
            return;                                         \
    } while (false)
