#include "Program.h"
#include "tables/DataGrid.h"
#include "tables/Form2.h"
#include "tables/Form3.h"
#include "tables/RowSet.h"
#include "tables/TableCatalogue.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace tabulon;
using tabulon::test::entries;
using tabulon::test::GivenLogin;
using tabulon::test::Program;
using tabulon::test::TestDatabase;

TEST(Catalogue, KeepsTablesWithoutSysInCatalogueOrder)
{
    const struct {
        const char* type;
        const char* name;
        bool listed;
    } cases[] = {
        {"TABLE", "Physics", true},     {"TABLE", "Analysis", true},  {"TABLE", "sysdiagrams", false},
        {"TABLE", "MySystem", false},   {"TABLE", "Data_SYS", false}, {"TABLE", "Sysop", false},
        {"VIEW", "Orders", false},      {"table", "Orders", false},   {"SYSTEM TABLE", "x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isListedTable(c.type, QString::fromUtf8(c.name)), c.listed) << c.type << " " << c.name;

    TestDatabase db;
    db.exec("CREATE TABLE Physics (a INT); CREATE TABLE sysdiagrams (a INT); CREATE TABLE Analysis (a INT);"
            "CREATE TABLE MySystem (a INT); CREATE TABLE Data_SYS (a INT); CREATE TABLE Sysop (a INT);"
            "CREATE TABLE Zeta (a INT);");
    db.exec("CREATE VIEW Alpha AS SELECT 1 AS a;"); // a view begins a batch of its own in T-SQL
    QListWidget list;
    list.addItem(QStringLiteral("stale"));
    FillTableList(GivenLogin(db.login()), &list);

    const auto catalogue = db.connect().tables();
    QStringList expected;
    for (const auto& [type, name] : catalogue) {
        if (isListedTable(type, QString::fromStdString(name)))
            expected << QString::fromStdString(name);
    }
    EXPECT_EQ(entries(&list), expected) << "in catalogue order";
    const auto listed = [&](const char* name) { return tabulon::test::listedName(db, QString::fromLatin1(name)); };
    EXPECT_EQ(QSet<QString>(expected.begin(), expected.end()),
              (QSet<QString>{listed("Physics"), listed("Analysis"), listed("Zeta")}));
    // The view and the tables with "sys" in their names are in the catalogue, and left out.
    for (const char* hidden : {"Alpha", "sysdiagrams", "MySystem", "Data_SYS", "Sysop"})
        EXPECT_TRUE(std::any_of(catalogue.begin(), catalogue.end(),
                                [&](const auto& row) { return QString::fromStdString(row.second) == listed(hidden); }))
            << hidden << " should be in the catalogue";
    if (db.isTsql()) {
        // The server's own tables and views are never listed.
        const QStringList engineOwn =
            db.column("SELECT name FROM sys.all_objects WHERE is_ms_shipped = 1 AND type IN ('S', 'U', 'V');");
        ASSERT_FALSE(engineOwn.isEmpty());
        for (const QString& name : engineOwn)
            EXPECT_FALSE(entries(&list).contains(name, Qt::CaseInsensitive)) << name.toStdString();
    }
}

// Two tables of the same name in different schemas: the catalogue names both, without their
// schema, and the list shows both in its order.
TEST(Catalogue, TablesOfOneNameInTwoSchemasAreListedTwice)
{
    TestDatabase db;
    if (!db.isTsql())
        GTEST_SKIP() << "SQLite has no schemas inside one database file";
    db.exec("CREATE SCHEMA sales;");
    db.exec("CREATE TABLE dbo.Orders (a INT); CREATE TABLE sales.Orders (a INT);");
    QListWidget list;
    FillTableList(GivenLogin(db.login()), &list);
    const QString orders = tabulon::test::listedName(db, QStringLiteral("Orders"));
    EXPECT_EQ(entries(&list), (QStringList{orders, orders}));
}

TEST(Catalogue, AFailedConnectionLeavesTheListAsItWas)
{
    TestDatabase db;
    LoginFields broken = db.login();
    broken.database = QStringLiteral("/nonexistent/folder/x.db");
    const GivenLogin source(broken);
    QListWidget list;
    list.addItem(QStringLiteral("kept"));
    EXPECT_ANY_THROW(FillTableList(source, &list));
    EXPECT_EQ(entries(&list), QStringList{QStringLiteral("kept")});
}

TEST(WindowFlow, AStoredReachableServerOpensOnTheChooser)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (" + tabulon::test::numberedKey(p.db) + ", item NVARCHAR(20));");
    p.flow->start();
    EXPECT_TRUE(p.flow->form2().isVisible());
    EXPECT_FALSE(p.login().isVisible());
    EXPECT_EQ(entries(p.flow->form2().List1), QStringList{p.listed(QStringLiteral("Orders"))});
    EXPECT_EQ(p.flow->form2().List1->currentRow(), 0);
    EXPECT_TRUE(p.t.prompter.shown.empty());
}

TEST(WindowFlow, AnUnreachableServerStaysOnTheLoginWindowSilently)
{
    Program p;
    QSettings(p.store->filePath(), QSettings::IniFormat)
        .setValue(QStringLiteral("Tabulon/MSDatabase"), QStringLiteral("/nonexistent/folder/x.db"));
    p.store = std::make_unique<SettingsStore>(p.store->filePath());
    p.flow = std::make_unique<WindowFlow>(p.t.ctx, *p.store);
    p.flow->start();
    EXPECT_TRUE(p.login().isVisible());
    EXPECT_TRUE(p.t.prompter.shown.empty());
}

TEST(WindowFlow, AnEmptyDatabaseOpensTheChooserWithNothingSelected)
{
    Program p(false);
    p.flow->start();
    tabulon::test::typeLogin(p.login(), p.db.login());
    p.login().PushButton3->click();
    Form2& chooser = p.flow->form2();
    EXPECT_TRUE(chooser.isVisible());
    EXPECT_EQ(chooser.List1->count(), 0);
    chooser.PushButton3->click();
    ASSERT_EQ(p.t.prompter.shown.size(), 1u);
    EXPECT_EQ(p.t.prompter.shown[0].text, QStringLiteral("Please select a table"));
    EXPECT_EQ(p.t.prompter.shown[0].title, QStringLiteral("Tabulon"));
    EXPECT_FALSE(p.flow->hasForm3());
}

TEST(WindowFlow, BackAndNextRebuildTheListButBackFromTheEditorDoesNot)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (" + tabulon::test::numberedKey(p.db) + ", item NVARCHAR(20));"
              "INSERT INTO Orders (item) VALUES ('pen'), ('ink');");
    p.flow->start();
    p.openTable(QStringLiteral("Orders"));
    Form3& editor = p.flow->form3();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_FALSE(p.flow->form2().isVisible());
    EXPECT_EQ(editor.Label2->text(), QStringLiteral(" Now Editing: ") + p.listed(QStringLiteral("Orders")));
    EXPECT_EQ(editor.DataGrid1->approximateRowCount(), 2);
    EXPECT_TRUE(p.t.prompter.shown.empty());

    p.db.exec("CREATE TABLE Customers (id INTEGER PRIMARY KEY);");
    editor.PushButton1->click(); // < Back: the list is as it was
    EXPECT_TRUE(p.flow->form2().isVisible());
    EXPECT_EQ(entries(p.flow->form2().List1), QStringList{p.listed(QStringLiteral("Orders"))});
    EXPECT_EQ(p.flow->form2().List1->currentItem()->text(), p.listed(QStringLiteral("Orders")));

    p.flow->form2().PushButton2->click(); // < Back to the login window
    EXPECT_TRUE(p.login().isVisible());
    p.login().PushButton3->click(); // Next >: rebuilt from the catalogue
    EXPECT_EQ(p.flow->form2().List1->count(), 2);
}

TEST(WindowFlow, QuitWritesTheRowInEditFirst)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (" + tabulon::test::numberedKey(p.db) + ", item NVARCHAR(20));"
              "INSERT INTO Orders (item) VALUES ('pen');");
    p.flow->start();
    p.openTable(QStringLiteral("Orders"));
    Form3& editor = p.flow->form3();
    QSignalSpy quit(p.flow.get(), &WindowFlow::quitRequested);
    RowSet* rows = editor.DataGrid1->rowSet();
    ASSERT_NE(rows, nullptr);
    rows->setCell(0, 1, odbc::Value::fromText("fountain pen"));
    editor.PushButton3->click();
    EXPECT_EQ(quit.count(), 1);
    EXPECT_EQ(p.db.column("SELECT item FROM Orders"), QStringList{QStringLiteral("fountain pen")});
}

TEST(WindowFlow, ATableThatCannotBeReadIsReportedAndTheGridShowsNoTable)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (id INTEGER PRIMARY KEY);");
    p.flow->start();
    p.db.exec("DROP TABLE Orders;");
    p.openTable(QStringLiteral("Orders"));
    Form3& editor = p.flow->form3();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_FALSE(editor.DataGrid1->hasTable());
    const auto errors = p.t.prompter.errors();
    ASSERT_GE(errors.size(), 1u);
    EXPECT_TRUE(errors[0].text.contains(p.listed(QStringLiteral("Orders")))) << errors[0].text.toStdString();
    EXPECT_TRUE(errors[0].text.contains(
        QStringLiteral("in Quarrix2020/08/02.Form2.PushButton3_Click at line 126")));
}

TEST(WindowFlow, ANameThatTriesToEndTheStatementDropsNothing)
{
    Program p;
    p.db.exec("CREATE TABLE y (a INT); CREATE TABLE \"x]; DROP TABLE [y\" (a INT);");
    p.flow->start();
    p.openTable(QStringLiteral("x]; DROP TABLE [y"));
    EXPECT_EQ(p.db.column("SELECT COUNT(*) FROM y"), QStringList{QStringLiteral("0")});
}

TEST(EditorWindow, HelpSaysWhatTheDuplicateRowsErrorMeans)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (id INT);");
    p.flow->start();
    p.openTable(QStringLiteral("Orders"));
    p.flow->form3().PushButton4->click();
    ASSERT_EQ(p.t.prompter.shown.size(), 1u);
    EXPECT_EQ(p.t.prompter.shown[0].text, duplicateRowsHelpText());
    EXPECT_EQ(p.t.prompter.shown[0].icon, MessageIcon::None);
}

TEST(EditorWindow, ButtonsAndMenuInTheirOrder)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (id INT);");
    p.flow->start();
    p.openTable(QStringLiteral("Orders"));
    Form3& e = p.flow->form3();
    QStringList captions;
    for (QPushButton* b : {e.PushButton1, e.PushButton4, e.PushButton5, e.PushButton2, e.PushButton6, e.PushButton3})
        captions << b->text();
    EXPECT_EQ(captions, (QStringList{"< Back", "Help", "Add New Row", "Add New Column", "Export Table As..", "Quit"}));
    QStringList entriesText;
    for (QAction* a : e.mnuSaveAs->actions())
        entriesText << a->text();
    EXPECT_EQ(entriesText, (QStringList{"TXT", "XLS", "CSV", "PDF", "XML"}));
    EXPECT_EQ(e.DataGrid1->toolTip(), QStringLiteral("Changes you make are automatically saved as you make them."));
    EXPECT_EQ(e.windowTitle(), QStringLiteral("Tabulon"));
}

#include "schema/DialogDriver.h"
#include "schema/NewColumnDialog.h"
#include <QComboBox>
#include <QHeaderView>

TEST(EditorWindow, AddNewColumnReloadsTheGridWithTheColumnLast)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (" + tabulon::test::numberedKey(p.db) + ", item NVARCHAR(20));"
              "INSERT INTO Orders (item) VALUES ('pen');");
    p.flow->start();
    p.openTable(QStringLiteral("Orders"));
    Form3& editor = p.flow->form3();
    tabulon::test::whenShown<frmNewColumn>([](frmNewColumn* d) {
        d->txtName->setText(QStringLiteral("Qty"));
        d->cboDataType->setCurrentText(QStringLiteral("INT"));
        d->PushButton1->click();
    });
    editor.PushButton2->click();
    EXPECT_EQ(p.t.prompter.texts(), QStringList{QStringLiteral("Column added.")});
    const QAbstractItemModel* model = editor.DataGrid1->model();
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Qty"));
    EXPECT_EQ(editor.DataGrid1->approximateRowCount(), 1);
}

TEST(EditorWindow, AddNewColumnClosedWithoutAddingStillReloads)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (id INTEGER PRIMARY KEY);");
    p.flow->start();
    p.openTable(QStringLiteral("Orders"));
    Form3& editor = p.flow->form3();
    p.db.exec("INSERT INTO Orders (id) VALUES (1), (2);"); // someone else adds rows meanwhile
    tabulon::test::whenShown<frmNewColumn>([](frmNewColumn* d) { d->close(); });
    editor.PushButton2->click();
    EXPECT_TRUE(p.t.prompter.shown.empty());
    EXPECT_EQ(editor.DataGrid1->approximateRowCount(), 2);
}

#include <QFile>
#include <QScrollBar>

TEST(EditorWindow, AnExportBegunMidTableWritesEveryRowFromTheFirst)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (id INTEGER PRIMARY KEY, item NVARCHAR(20));");
    if (p.db.isSqlite())
        p.db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)"
                  " INSERT INTO Orders (id, item) SELECT i, 'item ' || i FROM n;");
    else
        p.db.exec("WITH n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)"
                  " INSERT INTO Orders (id, item) SELECT i, CONCAT('item ', i) FROM n OPTION (MAXRECURSION 300);");
    p.flow->start();
    p.openTable(QStringLiteral("Orders"));
    Form3& editor = p.flow->form3();
    editor.DataGrid1->setCurrentIndex(editor.DataGrid1->model()->index(150, 1));
    editor.DataGrid1->verticalScrollBar()->setValue(editor.DataGrid1->verticalScrollBar()->maximum() / 2);

    const QString file = p.dir.filePath(QStringLiteral("orders.txt"));
    p.t.files.answers = {file};
    editor.mnuTXT->trigger();
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = out.readAll().split('\n');
    ASSERT_EQ(lines.size(), 302); // header, 300 rows, and the empty rest after the last CR LF
    EXPECT_EQ(lines[0], QByteArray("id\titem\t\r"));
    EXPECT_EQ(lines[1], QByteArray("1\titem 1\t\r"));
    EXPECT_EQ(lines[300], QByteArray("300\titem 300\t\r"));
    EXPECT_EQ(p.t.files.calls.at(0).filter, QStringLiteral("Text Files (*.txt)|*.txt"));
    EXPECT_EQ(p.t.files.calls.at(0).title, QStringLiteral("Save"));

    // The sorted grid is exported in the order shown; the name chosen is offered again.
    editor.DataGrid1->sortByHeader(0);
    editor.DataGrid1->sortByHeader(0);
    p.t.files.answers = {file};
    editor.mnuTXT->trigger();
    EXPECT_EQ(p.t.files.calls.at(1).initialName, file);
    QFile again(file);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_TRUE(again.readAll().split('\n').at(1).startsWith("300\t"));
}
