#pragma once

// The whole program on a settings file of its own, pointed at a test database of its own.

#include "app/WindowFlow.h"
#include "connection/ConnectionString.h"
#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "support/Fakes.h"
#include "support/TestDatabase.h"
#include "tables/Form2.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace tabulon::test {

struct GivenLogin : LoginSource {
    LoginFields f;
    explicit GivenLogin(LoginFields fields) : f(std::move(fields)) {}
    LoginFields loginFields() const override { return f; }
};

inline QStringList entries(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

// Whether the engine's catalogue gives table names lower-cased: the bundled T-SQL engine
// (Babelfish) does; SQLite and SQL Server keep the case the table was made with.
inline bool catalogueLowerCasesNames(const TestDatabase& db)
{
    static const bool babelfish =
        db.isTsql() && db.value("SELECT CAST(SERVERPROPERTY('babelfish') AS int);") == QLatin1String("1");
    return db.isTsql() && babelfish;
}

// A table name as the chooser lists it on this engine.
inline QString listedName(const TestDatabase& db, const QString& created)
{
    return catalogueLowerCasesNames(db) ? created.toLower() : created;
}

// An integer key the engine numbers itself, for tests that count the chooser's entries: on
// SQLite a plain INTEGER PRIMARY KEY (AUTOINCREMENT would add SQLite's own sqlite_sequence
// table, which its driver lists as a user table), on T-SQL an identity column.
inline std::string numberedKey(const TestDatabase& db, const std::string& column = "id")
{
    return db.isSqlite() ? "[" + column + "] INTEGER PRIMARY KEY" : db.autoKey(column);
}

// Types the fields into the login window, as a person would.
inline void typeLogin(Form1& form, const LoginFields& f)
{
    form.Text1->setText(f.server);
    form.Text9->setText(f.port.isEmpty() ? QStringLiteral("1433") : f.port);
    form.Text2->setText(f.user);
    form.Text3->setText(f.password);
    form.Text4->setText(f.database);
    form.Check6->setChecked(f.local);
}

struct Program {
    TestDatabase db;
    QTemporaryDir dir;
    TestContext t;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<WindowFlow> flow;

    // With `storeServer`, the settings hold every login field of the test database, so the
    // program opens on the table chooser; without, they are empty.
    explicit Program(bool storeServer = true)
    {
        const QString path = dir.filePath(QStringLiteral("Vantorel.ini"));
        if (storeServer) {
            QSettings s(path, QSettings::IniFormat);
            const LoginFields f = db.login();
            s.setValue(QStringLiteral("Tabulon/") + keys::Server, f.server);
            if (!f.port.isEmpty())
                s.setValue(QStringLiteral("Tabulon/") + keys::Port, f.port);
            s.setValue(QStringLiteral("Tabulon/") + keys::User, f.user);
            s.setValue(QStringLiteral("Tabulon/") + keys::Password, f.password);
            s.setValue(QStringLiteral("Tabulon/") + keys::Database, f.database);
            s.setValue(QStringLiteral("Tabulon/") + keys::Local, f.local ? "1" : "0");
        }
        store = std::make_unique<SettingsStore>(path);
        flow = std::make_unique<WindowFlow>(t.ctx, *store);
        t.printers.printers = {{QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    }
    Form1& login() { return flow->form1(); }
    // The name under which the chooser lists a table made as `created`.
    QString listed(const QString& created) const { return listedName(db, created); }
    // Selects the table in the chooser and presses "Next >".
    void openTable(const QString& created)
    {
        Form2& chooser = flow->form2();
        const auto found = chooser.List1->findItems(listed(created), Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << created.toStdString() << " is not among "
                                      << entries(chooser.List1).join(QStringLiteral(", ")).toStdString();
        chooser.List1->setCurrentItem(found.first());
        chooser.PushButton3->click();
    }
};

} // namespace tabulon::test
