// The editor's grid habits, on the whole program over a real driver: the status line, F5 and
// "Refresh", the quick filter (which hides rows on screen only), the grid's menu, the keyboard
// back on the grid after a dialog, and the chooser opening the table's connection first.

#include "Program.h"
#include "app/ErrorReport.h"
#include "schema/DialogDriver.h"
#include "schema/NewColumnDialog.h"
#include "tables/DataGrid.h"
#include "tables/Form3.h"
#include "tables/RowSet.h"
#include "tables/RowSetModel.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace tabulon::test {
namespace {

using Rows = std::vector<QStringList>;

class EditorGrid : public ::testing::Test {
protected:
    void SetUp() override
    {
        p.db.exec("CREATE TABLE People ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(50) NULL, "
                  "[city] nvarchar(50) NULL);"
                  "INSERT INTO People VALUES (1, 'Ann', 'Oslo'), (2, 'Bob', 'Bergen'), (3, 'Cleo', NULL), "
                  "(4, 'Dan', 'Annecy'), (5, 'Eve', 'Rome');");
        open(QStringLiteral("People"));
    }
    void open(const QString& table)
    {
        p.flow->start();
        p.openTable(table);
        e = &p.flow->form3();
        ASSERT_TRUE(e->DataGrid1->hasTable());
        e->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(e));
    }
    DataGrid& grid() { return *e->DataGrid1; }
    QAbstractItemModel& model() { return *grid().model(); }
    QModelIndex at(int row, int column) { return model().index(row, column); }
    QString shown(int row, int column) { return at(row, column).data().toString(); }
    void go(int row, int column) { grid().setCurrentIndex(at(row, column)); }
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(w, k, m);
        settle();
    }
    // F2, the text over what was there, Enter: as typed into the current cell.
    void type(const QString& text)
    {
        key(&grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << "no cell editor opened";
        editor->selectAll();
        QTest::keyClicks(editor, text);
        key(editor, Qt::Key_Return);
    }
    // The window's own keys (F5, Ctrl+F) reach the active window; a progress dialog of a slow
    // read may have taken that for a moment, as it does on a loaded machine.
    void activate()
    {
        e->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(e));
    }
    void windowKey(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        activate();
        key(QApplication::focusWidget() ? QApplication::focusWidget() : &grid(), k, m);
    }
    // Ctrl+F, the text, Enter: as a person filters.
    void filter(const QString& text)
    {
        windowKey(Qt::Key_F, Qt::ControlModifier);
        ASSERT_TRUE(e->FilterBar->isVisible());
        ASSERT_EQ(QApplication::focusWidget(), e->FilterBox);
        e->FilterBox->selectAll();
        QTest::keyClicks(e->FilterBox, text);
        key(e->FilterBox, Qt::Key_Return);
    }
    QStringList column(int c)
    {
        QStringList texts;
        for (int r = 0; r + 1 < model().rowCount(); ++r)
            texts << shown(r, c);
        return texts;
    }
    Rows people() { return p.db.rows("SELECT id, name, city FROM People ORDER BY id;"); }
    // The row shown with this id (the server may return rows in another order after a change).
    int rowOfId(const QString& id)
    {
        const QStringList ids = column(0);
        return static_cast<int>(ids.indexOf(id));
    }
    QString status() { return e->statusText(); }

    Program p;
    Form3* e = nullptr;
};

TEST_F(EditorGrid, StatusLineFollowsTheRowsTheCurrentRowAndTheFilter)
{
    EXPECT_EQ(status().toStdString(), "5 rows \u00B7 current row: 1");
    key(&grid(), Qt::Key_Down);
    EXPECT_EQ(status().toStdString(), "5 rows \u00B7 current row: 2");
    e->PushButton5->click(); // Add New Row
    EXPECT_EQ(status().toStdString(), "5 rows \u00B7 current: the new row");

    // A row typed into the new-record row and left grows the table; the line follows the
    // model's own signal.
    type(QStringLiteral("6"));
    key(&grid(), Qt::Key_Tab);
    type(QStringLiteral("Finn"));
    key(&grid(), Qt::Key_Up);
    EXPECT_EQ(people().size(), 6u);
    EXPECT_EQ(status().toStdString(), "6 rows \u00B7 current row: 5");

    // A row deleted on the server leaves the table, and the line says so.
    grid().selectRow(5);
    p.t.prompter.answers = {MessageAnswer::Yes};
    key(&grid(), Qt::Key_Delete);
    EXPECT_EQ(people().size(), 5u);
    EXPECT_TRUE(status().startsWith(QStringLiteral("5 rows \u00B7 current row: "))) << status().toStdString();

    filter(QStringLiteral("an"));
    EXPECT_EQ(status().toStdString(), "5 rows \u00B7 current row: 1 \u00B7 filtered: 2 of 5 \u00B7 exports write all 5 rows");
    go(1, 0);
    EXPECT_EQ(status().toStdString(), "5 rows \u00B7 current row: 4 \u00B7 filtered: 2 of 5 \u00B7 exports write all 5 rows");

    // A note passes through the status line beside the counts.
    e->showNotice(QStringLiteral("The PDF printer puts its files in /root/PDF"));
    EXPECT_EQ(e->StatusNotice->text(), QStringLiteral("The PDF printer puts its files in /root/PDF"));
    EXPECT_TRUE(status().startsWith(QStringLiteral("5 rows")));
}

// Rows that reach the row set while the grid shows it (a big table still being read) show
// through the filter, and the status line counts them from the model's own signals.
TEST_F(EditorGrid, RowsAddedToTheRowSetShowThroughTheFilterAndAreCounted)
{
    filter(QStringLiteral("an"));
    RowSetModel& m = grid().rowSetModel();
    auto addBehindTheView = [&](const char* id, const char* name) {
        const int newRow = m.newRecordRow();
        ASSERT_TRUE(m.setText(m.index(newRow, 0), QString::fromLatin1(id)));
        ASSERT_TRUE(m.setText(m.index(newRow, 1), QString::fromLatin1(name)));
        const qsizetype before = m.dataRowCount();
        ASSERT_TRUE(grid().rowSet()->writeRow(grid().rowSet()->rowCount()).ok()); // the model is not told
        m.rowsAppended(before);
    };
    addBehindTheView("6", "Hana");
    addBehindTheView("7", "Ivo");
    EXPECT_EQ(column(1), (QStringList{"Ann", "Dan", "Hana"}));
    EXPECT_TRUE(status().startsWith(QStringLiteral("7 rows"))) << status().toStdString();
    EXPECT_TRUE(status().contains(QStringLiteral("filtered: 3 of 7"))) << status().toStdString();
    windowKey(Qt::Key_F, Qt::ControlModifier);
    key(e->FilterBox, Qt::Key_Escape);
    EXPECT_EQ(model().rowCount(), 8);
    addBehindTheView("8", "Jo");
    EXPECT_EQ(model().rowCount(), 9);
    EXPECT_EQ(shown(7, 1), QStringLiteral("Jo"));
    EXPECT_TRUE(status().startsWith(QStringLiteral("8 rows"))) << status().toStdString();
}

TEST_F(EditorGrid, FilterHidesRowsOnScreenOnlyAndEveryExportWritesEveryRow)
{
    filter(QStringLiteral("AN")); // any case, any column: Ann; Dan, and Annecy
    EXPECT_EQ(column(0), (QStringList{"1", "4"}));
    EXPECT_EQ(model().headerData(1, Qt::Vertical).toString(), QStringLiteral("4")) << "rows keep their numbers";
    EXPECT_EQ(QApplication::focusWidget(), &grid()) << "Enter goes back to the grid";

    const QString txt = p.dir.filePath(QStringLiteral("people.txt"));
    const QString xml = p.dir.filePath(QStringLiteral("people.xml"));
    p.t.files.answers = {txt, xml};
    e->mnuTXT->trigger();
    e->mnuXML->trigger();
    QFile text(txt);
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(text.readAll(), QByteArray("id\tname\tcity\t\r\n1\tAnn\tOslo\t\r\n2\tBob\tBergen\t\r\n3\tCleo\t\t\r\n"
                                         "4\tDan\tAnnecy\t\r\n5\tEve\tRome\t\r\n"));
    QFile doc(xml);
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly));
    EXPECT_EQ(doc.readAll().count("<row>"), 5);
    EXPECT_EQ(column(0), (QStringList{"1", "4"})) << "the filter stays after the exports";

    // A NULL reads "NULL" on screen, and is found so.
    filter(QStringLiteral("null"));
    EXPECT_EQ(column(0), QStringList{"3"});
    filter(QStringLiteral("no such text"));
    EXPECT_EQ(model().rowCount(), 1) << "only the new-record row";
    EXPECT_TRUE(status().contains(QStringLiteral("filtered: 0 of 5"))) << status().toStdString();

    // Esc clears the filter and closes its box.
    windowKey(Qt::Key_F, Qt::ControlModifier);
    key(e->FilterBox, Qt::Key_Escape);
    EXPECT_FALSE(e->FilterBar->isVisible());
    EXPECT_EQ(column(0), (QStringList{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(status().toStdString(), "5 rows \u00B7 current row: 3")
        << "back on the row that was current before the filter that showed nothing";
    EXPECT_EQ(QApplication::focusWidget(), &grid());
}

TEST_F(EditorGrid, EditingDeletingAndPastingWhileFilteredReachTheRowsShown)
{
    filter(QStringLiteral("an")); // rows 1 and 4 of the table
    // An edit of the second row shown goes to id 4, not to the second row of the table.
    go(1, 2);
    type(QStringLiteral("Lyon"));
    key(&grid(), Qt::Key_Up);
    EXPECT_EQ(people()[3], (QStringList{"4", "Dan", "Lyon"}));
    EXPECT_EQ(people()[1], (QStringList{"2", "Bob", "Bergen"}));
    EXPECT_EQ(column(0), (QStringList{"1", "4"})) << "a row that no longer matches stays until the next filter";

    // Paste fills the rows shown, downwards.
    go(0, 1);
    grid().pasteText(QStringLiteral("Anna\nDana"));
    EXPECT_EQ(p.db.column("SELECT name FROM People ORDER BY id;"),
              (QStringList{"Anna", "Bob", "Cleo", "Dana", "Eve"}));
    // Copy takes the rows shown.
    grid().setCurrentIndex(at(0, 0));
    grid().selectionModel()->select(QItemSelection(at(0, 0), at(1, 1)), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(grid().selectionText(), QStringLiteral("1\tAnna\n4\tDana"));

    // A new row added while filtered is written, and shows.
    e->PushButton5->click();
    type(QStringLiteral("7"));
    key(&grid(), Qt::Key_Tab);
    type(QStringLiteral("Gus"));
    key(&grid(), Qt::Key_Up);
    EXPECT_EQ(p.db.value("SELECT name FROM People WHERE id = 7;"), QStringLiteral("Gus"));
    EXPECT_EQ(column(0), (QStringList{"1", "4", "7"}));

    // Delete Rows on the second row shown deletes id 4.
    grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    key(&grid(), Qt::Key_Delete);
    EXPECT_EQ(p.db.column("SELECT id FROM People ORDER BY id;"), (QStringList{"1", "2", "3", "5", "7"}));
    EXPECT_EQ(column(0), (QStringList{"1", "7"}));

    // Sorting keeps the filter's rows; clearing it shows the whole table in the sorted order.
    grid().sortByHeader(0);
    grid().sortByHeader(0); // descending
    EXPECT_EQ(column(0), (QStringList{"7", "1"}));
    windowKey(Qt::Key_F, Qt::ControlModifier);
    key(e->FilterBox, Qt::Key_Escape);
    EXPECT_EQ(column(0), (QStringList{"7", "5", "3", "2", "1"}));
}

TEST_F(EditorGrid, RefreshWritesTheRowInEditThenShowsWhatOthersChangedKeepingTheRow)
{
    // Sorted by id, which the refresh keeps: the server itself may return changed rows in
    // another order (the T-SQL engine gives an updated row last).
    grid().sortByHeader(0);
    go(1, 1); // Bob
    // Someone else renames Ann and Bob and deletes Cleo meanwhile.
    p.db.exec("UPDATE People SET name = 'Annie' WHERE id = 1; UPDATE People SET city = 'Bodo' WHERE id = 2;"
              "DELETE FROM People WHERE id = 3;");
    go(3, 1); // Dan, the fourth row
    type(QStringLiteral("Daniel")); // in edit, not yet written
    windowKey(Qt::Key_F5);
    EXPECT_EQ(p.db.value("SELECT name FROM People WHERE id = 4;"), QStringLiteral("Daniel")) << "written first";
    EXPECT_EQ(column(1), (QStringList{"Annie", "Bob", "Daniel", "Eve"}));
    EXPECT_EQ(shown(1, 2), QStringLiteral("Bodo"));
    // The current row is Dan's, found by its key although it moved up one place.
    EXPECT_EQ(grid().currentIndex().row(), 2);
    EXPECT_EQ(shown(grid().currentIndex().row(), 0), QStringLiteral("4"));
    EXPECT_EQ(grid().currentIndex().column(), 1);
    EXPECT_TRUE(p.t.prompter.shown.empty());

    // The filter and the sort stay over a refresh.
    grid().sortByHeader(1);
    grid().sortByHeader(1); // by name, descending
    filter(QStringLiteral("e")); // Annie, Daniel, Eve
    p.db.exec("INSERT INTO People VALUES (8, 'Zoe', 'Genoa'); INSERT INTO People VALUES (9, 'Al', NULL);");
    e->mnuRefresh->trigger();
    EXPECT_EQ(column(1), (QStringList{"Zoe", "Eve", "Daniel", "Annie"}));
    EXPECT_TRUE(status().contains(QStringLiteral("filtered: 4 of 6"))) << status().toStdString();
}

TEST_F(EditorGrid, ARefusedRowStopsTheRefreshAndLosesNothing)
{
    go(1, 0);
    type(QStringLiteral("1")); // a key that is taken
    p.db.exec("UPDATE People SET name = 'Annie' WHERE id = 1;");
    p.t.prompter.clear();
    windowKey(Qt::Key_F5);
    ASSERT_EQ(p.t.prompter.shown.size(), 1u) << "the refusal is said";
    EXPECT_EQ(shown(1, 0), QStringLiteral("1")) << "the typed value stays";
    EXPECT_TRUE(grid().rowSetModel().hasPendingEdit(1));
    EXPECT_EQ(shown(0, 1), QStringLiteral("Ann")) << "nothing was read again";
    EXPECT_EQ(people()[1][0], QStringLiteral("2"));
}

TEST_F(EditorGrid, ATableWithoutKeyKeepsTheCurrentRowByItsPlace)
{
    p.db.exec("CREATE TABLE Notes ([text] nvarchar(20) NULL); INSERT INTO Notes VALUES ('a'), ('b'), ('c');");
    e->PushButton1->click();                  // < Back
    p.flow->form2().PushButton2->click();     // < Back to the login window
    p.login().PushButton3->click();           // Next >: the list now has Notes
    p.openTable(QStringLiteral("Notes"));
    e->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(e));
    go(2, 0);
    p.db.exec("UPDATE Notes SET [text] = 'C' WHERE [text] = 'c';");
    windowKey(Qt::Key_F5);
    EXPECT_EQ(column(0), (QStringList{"a", "b", "C"}));
    EXPECT_EQ(grid().currentIndex().row(), 2);
}

TEST_F(EditorGrid, TheGridsMenuShowsEachShortcutAndDoesWhatTheKeyDoes)
{
    QStringList entries;
    for (QAction* a : e->mnuGrid->actions())
        if (!a->isSeparator())
            entries << a->text() + QLatin1Char('=') + a->shortcut().toString(QKeySequence::PortableText);
    EXPECT_EQ(entries, (QStringList{"Copy=Ctrl+C", "Paste=Ctrl+V", "Set to NULL=Ctrl+0", "Delete Rows=Del",
                                    "Refresh=F5", "Filter=Ctrl+F"}));
    for (QAction* a : e->mnuGrid->actions())
        EXPECT_TRUE(a->isSeparator() || a->isShortcutVisibleInContextMenu()) << a->text().toStdString();

    // A right click on a cell outside the selection makes it current, and opens the menu.
    QContextMenuEvent onCell(QContextMenuEvent::Mouse, grid().visualRect(at(2, 2)).center());
    QApplication::sendEvent(grid().viewport(), &onCell);
    settle();
    EXPECT_TRUE(e->mnuGrid->isVisible());
    EXPECT_EQ(grid().currentIndex(), at(2, 2));
    EXPECT_FALSE(e->mnuDeleteRows->isEnabled()) << "Delete acts on whole rows only";
    e->mnuGrid->hide();
    e->mnuCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString()) << "Cleo's city is NULL";
    go(0, 2);
    e->mnuCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Oslo"));
    e->mnuSetNull->trigger();
    EXPECT_EQ(shown(0, 2), QStringLiteral("NULL"));
    key(&grid(), Qt::Key_Down);
    EXPECT_TRUE(p.db.value("SELECT city FROM People WHERE id = 1;").isNull());
    go(1, 2);
    e->mnuPaste->trigger();
    key(&grid(), Qt::Key_Up);
    EXPECT_EQ(p.db.value("SELECT city FROM People WHERE id = 2;"), QStringLiteral("Oslo"));

    // A right click on a row number selects that row; Delete Rows asks and deletes it.
    QHeaderView* rows = grid().verticalHeader();
    QContextMenuEvent onHeader(QContextMenuEvent::Mouse,
                               QPoint(rows->width() / 2, rows->sectionViewportPosition(4) + 3));
    QApplication::sendEvent(rows->viewport(), &onHeader);
    settle();
    EXPECT_TRUE(e->mnuGrid->isVisible());
    EXPECT_TRUE(e->mnuDeleteRows->isEnabled());
    e->mnuGrid->hide();
    p.t.prompter.answers = {MessageAnswer::Yes};
    e->mnuDeleteRows->trigger();
    EXPECT_EQ(p.db.column("SELECT id FROM People ORDER BY id;"), (QStringList{"1", "2", "3", "4"}));

    // Filter opens the box; Refresh reads again.
    e->mnuFilter->trigger();
    EXPECT_TRUE(e->FilterBar->isVisible());
    key(e->FilterBox, Qt::Key_Escape);
    p.db.exec("UPDATE People SET name = 'Bo' WHERE id = 2;");
    e->mnuRefresh->trigger();
    ASSERT_GE(rowOfId(QStringLiteral("2")), 0);
    EXPECT_EQ(shown(rowOfId(QStringLiteral("2")), 1), QStringLiteral("Bo"));
}

TEST_F(EditorGrid, TheKeyboardIsBackOnTheGridAfterEveryDialog)
{
    const struct {
        const char* what;
        std::function<void()> act;
    } actions[] = {
        {"Help", [&] { e->PushButton4->click(); }},
        {"Add New Column",
         [&] {
             whenShown<frmNewColumn>([](frmNewColumn* d) { d->close(); });
             e->PushButton2->click();
         }},
        {"TXT export, cancelled",
         [&] {
             p.t.files.answers = {QString()};
             e->mnuTXT->trigger();
         }},
        {"XML export",
         [&] {
             p.t.files.answers = {p.dir.filePath(QStringLiteral("x.xml"))};
             e->mnuXML->trigger();
         }},
        {"Export menu dismissed",
         [&] {
             e->mnuSaveAs->popup(e->PushButton6->mapToGlobal(QPoint()));
             settle();
             e->mnuSaveAs->hide();
         }},
        {"Refresh", [&] { e->mnuRefresh->trigger(); }},
    };
    for (const auto& a : actions) {
        e->PushButton6->setFocus();
        a.act();
        settle();
        EXPECT_EQ(e->focusWidget(), &grid()) << a.what;
    }
}

// The chooser opens the table's connection before it shows and labels the editor: a failed
// connection is reported while the editor is not yet up.
TEST(ChooserNext, OpensTheTablesConnectionBeforeItShowsTheEditor)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (id int NOT NULL PRIMARY KEY);");
    p.flow->start();
    LoginFields broken = p.db.login();
    broken.database = p.db.isSqlite() ? QStringLiteral("/nonexistent/folder/x.db") : QStringLiteral("tabulon_no_such_db");
    p.login().Text4->setText(broken.database);
    std::vector<bool> editorShownAtReport;
    std::vector<QString> labelAtReport;
    p.t.prompter.onShow = [&](const Message&) {
        editorShownAtReport.push_back(p.flow->hasForm3() && p.flow->form3().isVisible());
        labelAtReport.push_back(p.flow->hasForm3() ? p.flow->form3().Label2->text() : QString());
    };
    p.openTable(QStringLiteral("Orders"));
    const auto errors = p.t.prompter.errors();
    ASSERT_GE(errors.size(), 1u);
    const QString line = broken.local ? QStringLiteral("at line 112") : QStringLiteral("at line 114");
    EXPECT_TRUE(errors[0].text.contains(loc::Form2_Next + line)) << errors[0].text.toStdString();
    ASSERT_FALSE(editorShownAtReport.empty());
    EXPECT_FALSE(editorShownAtReport[0]) << "the connection comes before the editor shows";
    EXPECT_NE(labelAtReport[0], QStringLiteral(" Now Editing: ") + p.listed(QStringLiteral("Orders")));
    // The rest of the handler still runs: the editor shows, labelled, with no table.
    EXPECT_TRUE(p.flow->form3().isVisible());
    EXPECT_EQ(p.flow->form3().Label2->text(), QStringLiteral(" Now Editing: ") + p.listed(QStringLiteral("Orders")));
    EXPECT_FALSE(p.flow->form3().DataGrid1->hasTable());
    EXPECT_EQ(p.flow->form3().statusText(), QStringLiteral("No table"));
}

} // namespace
} // namespace tabulon::test

namespace tabulon::test {
namespace {

// The filter finds numbers, binary values and text as the grid shows them, whatever shortcut it
// takes past values that cannot hold the text.
TEST(FilterMatch, NumbersBinaryAndTextAreFoundAsShown)
{
    TestDatabase db;
    db.exec(std::string("CREATE TABLE Mixed ([i] int NULL, [f] float NULL, [b] varbinary(4) NULL, "
                        "[t] nvarchar(40) NULL);") +
            "INSERT INTO Mixed VALUES (-12, 1e20, " + (db.isSqlite() ? "X'0AFF', " : "0x0AFF, N") + "'aXaab Stra\u00DFe');");
    RowSetModel model;
    model.setRowSet(RowSet::open(db.connect(), QStringLiteral("Mixed")));
    ASSERT_EQ(model.dataRowCount(), 1);
    const struct {
        const char* text;
        bool found;
    } cases[] = {
        {"-12", true},   {"12", true},       {"1e+20", true}, {"E+2", true},  {"0x0aff", true},
        {"AFF", true},   {"-12x", false},    {"inf", false},  {"null", false}, {"stra\u00DFe", true},
        {"STRA", true},  {"tra\u00DF", true}, {"strasse", false}, {"aab", true}, {"XAA", true},
        {"aaab", false}, {"b s", true},      {"ab stra", true},  {"xaaa", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(model.rowMatches(0, QString::fromUtf8(c.text)), c.found) << c.text;
}

} // namespace
} // namespace tabulon::test
