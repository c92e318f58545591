// The real grid, driven with keys and clicks as a person drives it, over a real driver: a row is
// written when it is left, refusals keep the row and say why, and the keyboard, clipboard and
// header habits work. What reached the database is read from the file itself.

#include "support/Fakes.h"
#include "support/TestDatabase.h"
#include "export/GridSource.h"
#include "tables/DataGrid.h"
#include "tables/RowSetModel.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace tabulon {
namespace {

using Rows = std::vector<QStringList>;

class Grid : public ::testing::Test {
protected:
    void open(const QString& table)
    {
        grid = std::make_unique<DataGrid>(t.ctx);
        grid->resize(900, 400);
        grid->show();
        grid->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(grid.get()));
        grid->setRowSet(RowSet::open(db.connect(), table));
        grid->setFocus();
        ASSERT_TRUE(grid->hasTable());
    }
    QAbstractItemModel& model() { return *grid->model(); }
    QModelIndex at(int row, int column) { return model().index(row, column); }
    QString shown(int row, int column) { return at(row, column).data().toString(); }
    void go(int row, int column) { grid->setCurrentIndex(at(row, column)); }
    int row() { return grid->currentIndex().row(); }
    // F2, the text over what was there, Enter: as typed into the current cell.
    void type(const QString& text)
    {
        QTest::keyClick(grid.get(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << "no cell editor opened";
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Delete);
        else if (text.toLatin1() == text.toUtf8())
            QTest::keyClicks(editor, text);
        else
            editor->insert(text); // key events know no letters beyond ASCII
        QTest::keyClick(editor, Qt::Key_Return);
        settle();
    }
    // Enter commits the cell through a queued call, and the grid speaks after the editor closed.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(grid.get(), k, m);
        QCoreApplication::processEvents();
    }
    void click(int row, int column)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(at(row, column)).center());
        QCoreApplication::processEvents();
    }
    void clickHeader(int column)
    {
        QHeaderView* h = grid->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
        QCoreApplication::processEvents();
    }
    QStringList exported(int column)
    {
        const GridSource& source = grid->gridSource();
        QStringList texts;
        for (qsizetype r = 0; r < source.rowCount(); ++r)
            texts << source.cellText(r, column);
        return texts;
    }

    test::TestDatabase db;
    test::TestContext t;
    std::unique_ptr<DataGrid> grid;
};

class GridPeople : public Grid {
protected:
    void SetUp() override
    {
        db.exec("CREATE TABLE [People] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(50) NULL, [age] int NULL, "
                "[born] date NULL);"
                "INSERT INTO People VALUES (1, 'Ann', 30, '1994-05-01'), (2, 'Bob', 40, NULL), "
                "(3, NULL, 25, '1999-12-31');");
        open("People");
    }
    Rows people() { return db.rows("SELECT id, name, age FROM People ORDER BY id;"); }
};

TEST_F(GridPeople, ShowsTheTableAndItsLook)
{
    EXPECT_EQ(model().rowCount(), 4); // three records and the new-record row
    EXPECT_EQ(model().headerData(1, Qt::Horizontal).toString(), "name");
    EXPECT_EQ(model().headerData(0, Qt::Vertical).toString(), "1");
    EXPECT_EQ(model().headerData(3, Qt::Vertical).toString(), "*");
    EXPECT_EQ(shown(2, 1), "NULL");
    EXPECT_TRUE(at(2, 1).data(Qt::FontRole).value<QFont>().italic());
    EXPECT_TRUE(at(2, 1).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(grid->gridSource().cellText(2, 1), ""); // the exports read NULL as empty
    EXPECT_EQ(grid->gridSource().rowCount(), 3);
    EXPECT_EQ(shown(3, 1), ""); // the new-record row is blank
    EXPECT_EQ(row(), 0);        // binding makes the first record current
    EXPECT_EQ(grid->toolTip(), "Changes you make are automatically saved as you make them.");
    EXPECT_EQ(grid->font().family(), "Arial");
    EXPECT_EQ(grid->font().pointSize(), 9);
    EXPECT_TRUE(grid->font().bold());
    EXPECT_TRUE(grid->horizontalHeader()->font().bold());
    EXPECT_EQ(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
}

TEST_F(GridPeople, LeavingTheRowWritesItAndNotBefore)
{
    go(0, 1);
    type("Anna");
    EXPECT_EQ(shown(0, 1), "Anna");
    EXPECT_TRUE(model().headerData(0, Qt::Vertical).toString().startsWith(QChar(0x270E)));
    EXPECT_EQ(people()[0][1], "Ann"); // still in edit
    key(Qt::Key_Down);
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(people()[0][1], "Anna");
    EXPECT_EQ(model().headerData(0, Qt::Vertical).toString(), "1");

    // By the mouse, too; and moving within the row writes nothing.
    type("Bobby");
    key(Qt::Key_Right);
    EXPECT_EQ(people()[1][1], "Bob");
    click(2, 0);
    EXPECT_EQ(row(), 2);
    EXPECT_EQ(people()[1][1], "Bobby");
    EXPECT_TRUE(t.prompter.shown.empty());
}

TEST_F(GridPeople, RefusedValueKeepsTheTextAndTheRow)
{
    go(0, 2);
    type("abc");
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    const Message& m = t.prompter.shown[0];
    EXPECT_TRUE(m.text.contains("\"abc\"")) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains("whole number")) << m.text.toStdString();
    EXPECT_EQ(m.title, t.ctx.appTitle);
    EXPECT_EQ(m.icon, MessageIcon::Warning);
    EXPECT_EQ(shown(0, 2), "abc");
    EXPECT_EQ(at(0, 2).data(Qt::EditRole).toString(), "abc");

    key(Qt::Key_Down); // the row cannot be written: the move is refused
    EXPECT_EQ(row(), 0);
    ASSERT_EQ(t.prompter.shown.size(), 2u);
    EXPECT_TRUE(t.prompter.shown[1].text.startsWith("The row was not saved")) << t.prompter.shown[1].text.toStdString();
    click(2, 2);
    EXPECT_EQ(row(), 0);
    EXPECT_EQ(people(), (Rows{{"1", "Ann", "30"}, {"2", "Bob", "40"}, {"3", QString(), "25"}}));

    type("31"); // corrected: now it goes
    key(Qt::Key_Down);
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(people()[0][2], "31");
}

TEST_F(GridPeople, EscapeCancelsTheCellThenTheRow)
{
    go(0, 1);
    type("Anna");
    go(0, 2);
    QTest::keyClick(grid.get(), Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "99");
    QTest::keyClick(editor, Qt::Key_Escape); // the cell
    EXPECT_EQ(shown(0, 2), "30");
    EXPECT_EQ(shown(0, 1), "Anna");
    key(Qt::Key_Escape); // the row
    EXPECT_EQ(shown(0, 1), "Ann");
    EXPECT_FALSE(grid->rowSetModel().hasPendingEdit(0));
    key(Qt::Key_Down);
    EXPECT_EQ(people()[0][1], "Ann");
}

TEST_F(GridPeople, NullByCtrlZeroAndByEmptyCells)
{
    go(0, 1);
    key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(shown(0, 1), "NULL");
    go(0, 2);
    type(""); // an emptied number is NULL
    key(Qt::Key_Down);
    go(1, 1);
    type(""); // an emptied text is the empty string
    go(2, 1);
    type("Cy"); // and NULL gives way to a value
    EXPECT_TRUE(grid->commitPendingRow());
    EXPECT_EQ(people(), (Rows{{"1", QString(), QString()}, {"2", "", "40"}, {"3", "Cy", "25"}}));
}

TEST_F(GridPeople, CommitPendingRowWritesOrSaysWhyNot)
{
    EXPECT_TRUE(grid->commitPendingRow()); // nothing pending
    go(1, 2);
    type("41");
    EXPECT_TRUE(grid->commitPendingRow());
    EXPECT_EQ(people()[1][2], "41");
    db.exec("DELETE FROM People WHERE id = 1;");
    go(0, 2);
    type("77");
    t.prompter.answers = {MessageAnswer::No}; // keep editing
    EXPECT_FALSE(grid->commitPendingRow());
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_TRUE(t.prompter.shown[0].text.contains("changed or deleted by someone else since it was read"));
    EXPECT_EQ(shown(0, 2), "77");
    EXPECT_EQ(row(), 0);
}

TEST_F(GridPeople, ConflictOffersReloadOrKeepEditing)
{
    go(0, 1);
    type("ours");
    db.exec("UPDATE People SET name = 'theirs' WHERE id = 1;");
    t.prompter.answers = {MessageAnswer::No};
    key(Qt::Key_Down);
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_EQ(t.prompter.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(row(), 0);
    EXPECT_EQ(shown(0, 1), "ours"); // kept
    EXPECT_TRUE(grid->rowSetModel().hasPendingEdit(0));

    t.prompter.answers = {MessageAnswer::Yes};
    key(Qt::Key_Down);
    EXPECT_EQ(t.prompter.shown.size(), 2u);
    EXPECT_EQ(shown(0, 1), "theirs"); // the server's row, the edit dropped
    EXPECT_FALSE(grid->rowSetModel().hasPendingEdit(0));
    EXPECT_EQ(db.value("SELECT name FROM People WHERE id = 1;"), "theirs");
    key(Qt::Key_Down);
    EXPECT_EQ(row(), 1);
}

TEST_F(GridPeople, NewRecordRowInsertsWhenLeft)
{
    grid->moveToNewRecordRow();
    EXPECT_EQ(row(), 3);
    go(3, 0);
    type("7");
    EXPECT_EQ(model().rowCount(), 4);
    go(3, 1);
    type(QStringLiteral("Zoë \U0001F600"));
    key(Qt::Key_Up);
    EXPECT_EQ(db.rows("SELECT id, name, age FROM People WHERE id = 7;"),
              (Rows{{"7", QStringLiteral("Zoë \U0001F600"), QString()}}));
    EXPECT_EQ(model().rowCount(), 5);
    EXPECT_EQ(model().headerData(4, Qt::Vertical).toString(), "*");
    EXPECT_EQ(shown(3, 0), "7");

    // Tab past the last cell of a new row inserts it and opens the next one.
    grid->moveToNewRecordRow();
    go(4, 0);
    type("8");
    go(4, 3);
    QTest::keyClick(grid.get(), Qt::Key_Tab);
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM People;"), "5");
    EXPECT_EQ(row(), 5);
}

// In an empty table the new row is the only row: whatever move leaves it writes it.
TEST_F(Grid, TheFirstRowOfAnEmptyTableIsWrittenWhenLeft)
{
    db.exec("CREATE TABLE [Fresh] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(20) NULL);");
    struct Leave {
        const char* how;
        Qt::Key key; // Qt::Key_unknown: the editor's "Add New Row"
        int rowAfter; // where the cursor stands once the row is written
    };
    const std::vector<Leave> ways = {{"Down", Qt::Key_Down, 1}, {"Up", Qt::Key_Up, 0},
                                     {"Add New Row", Qt::Key_unknown, 1}};
    int id = 0;
    for (const Leave& way : ways) {
        SCOPED_TRACE(way.how);
        db.exec("DELETE FROM Fresh;");
        open("Fresh");
        ASSERT_EQ(model().rowCount(), 1); // the new-record row alone
        go(0, 0);
        type(QString::number(++id));
        go(0, 1);
        type(QStringLiteral("first"));
        if (way.key == Qt::Key_unknown)
            grid->moveToNewRecordRow();
        else
            key(way.key);
        EXPECT_EQ(db.rows("SELECT id, name FROM Fresh;"), (Rows{{QString::number(id), "first"}}));
        EXPECT_EQ(model().rowCount(), 2);
        EXPECT_EQ(row(), way.rowAfter);
        EXPECT_TRUE(t.prompter.shown.empty());
    }
}

TEST_F(GridPeople, KeysMoveAsInASpreadsheet)
{
    go(0, 3);
    key(Qt::Key_Tab); // past the last cell: the next row
    EXPECT_EQ(grid->currentIndex(), at(1, 0));
    key(Qt::Key_Backtab);
    EXPECT_EQ(grid->currentIndex(), at(0, 3));
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(row(), 3); // the new-record row is the last row
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(row(), 0);

    // Typing starts editing; Tab writes the cell and edits the next one.
    go(1, 1);
    QTest::keyClick(grid.get(), Qt::Key_X);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "x");
    QTest::keyClick(editor, Qt::Key_Tab);
    settle();
    EXPECT_EQ(shown(1, 1), "x");
    EXPECT_EQ(grid->currentIndex(), at(1, 2));
    EXPECT_EQ(people()[1][1], "Bob");
}

TEST_F(GridPeople, DeleteAsksThenDeletesTheSelectedRows)
{
    grid->selectRow(0);
    grid->selectionModel()->select(at(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    t.prompter.answers = {MessageAnswer::No};
    key(Qt::Key_Delete);
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_EQ(t.prompter.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM People;"), "3");

    t.prompter.answers = {MessageAnswer::Yes};
    key(Qt::Key_Delete);
    EXPECT_EQ(db.column("SELECT id FROM People;"), QStringList({"2"}));
    EXPECT_EQ(model().rowCount(), 2);
    EXPECT_EQ(shown(0, 1), "Bob");
}

TEST_F(GridPeople, CopyAndPasteLikeASpreadsheet)
{
    grid->selectionModel()->select(QItemSelection(at(1, 1), at(2, 2)), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(grid->selectionText(), "Bob\t40\n\t25"); // NULL copies as empty

    // Three rows into the new-record row: three inserts.
    go(3, 0);
    EXPECT_TRUE(grid->pasteText("10\tTen\t1\r\n11\tEleven\t\r\n12\t\t3\r\n"));
    EXPECT_EQ(db.rows("SELECT id, name, age FROM People WHERE id >= 10 ORDER BY id;"),
              (Rows{{"10", "Ten", "1"}, {"11", "Eleven", QString()}, {"12", "", "3"}}));
    EXPECT_EQ(model().rowCount(), 7);

    // Into existing rows, written row by row.
    go(0, 1);
    EXPECT_TRUE(grid->pasteText("A\nB"));
    EXPECT_EQ(db.column("SELECT name FROM People WHERE id IN (1, 2) ORDER BY id;"), QStringList({"A", "B"}));

    // Too wide, or a value the column cannot take: nothing changes.
    const Rows before = db.rows("SELECT * FROM People ORDER BY id;");
    go(0, 2);
    EXPECT_FALSE(grid->pasteText("1\t1999-01-01\textra"));
    EXPECT_FALSE(grid->pasteText("5\t2001-01-01\nxyz\t2001-01-01"));
    EXPECT_EQ(t.prompter.shown.size(), 2u);
    EXPECT_TRUE(t.prompter.shown[0].text.startsWith("Nothing was pasted")) << t.prompter.shown[0].text.toStdString();
    EXPECT_TRUE(t.prompter.shown[1].text.contains("\"xyz\"")) << t.prompter.shown[1].text.toStdString();
    EXPECT_EQ(db.rows("SELECT * FROM People ORDER BY id;"), before);
    EXPECT_FALSE(grid->rowSetModel().hasPendingEdit(0));
}

TEST_F(GridPeople, HeaderClicksSortTheCopyBothWays)
{
    clickHeader(2); // age
    EXPECT_EQ(exported(0), QStringList({"3", "1", "2"}));
    clickHeader(2);
    EXPECT_EQ(exported(0), QStringList({"2", "1", "3"}));
    clickHeader(3); // born, NULL first
    EXPECT_EQ(exported(0), QStringList({"2", "1", "3"}));
    clickHeader(1); // name
    EXPECT_EQ(exported(1), QStringList({"", "Ann", "Bob"}));
    EXPECT_EQ(model().headerData(3, Qt::Vertical).toString(), "*");
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), 1);
    EXPECT_TRUE(grid->selectionModel()->selectedColumns().isEmpty()); // a click sorts, it does not select

    // Rows are still written to the right server row after sorting.
    go(0, 2);
    type("26");
    key(Qt::Key_Down);
    EXPECT_EQ(db.value("SELECT age FROM People WHERE id = 3;"), "26");
}

TEST_F(Grid, ClipboardRoundTripCopiesRows)
{
    db.exec("CREATE TABLE [Notes] (" + db.autoKey() + ", [txt] nvarchar(40), [n] int, [at] datetime, [f] float);"
            "INSERT INTO Notes (txt, n, at, f) VALUES ('tab	here', NULL, '2024-01-02 03:04:05', 0.1),"
            " ('two\nlines', 7, NULL, NULL), ('\"quoted\"', -1, '1999-12-31 23:59:59', 2.5);");
    open("Notes");
    grid->selectionModel()->select(QItemSelection(at(0, 1), at(2, 4)), QItemSelectionModel::ClearAndSelect);
    key(Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text();
    // SQLite keeps a datetime as the text it was given; SQL Server's datetime always has its
    // milliseconds, and its text form shows them.
    const QString ms = db.isTsql() ? QStringLiteral(".000") : QString();
    EXPECT_EQ(copied, "\"tab\there\"\t\t2024-01-02 03:04:05" + ms + "\t0.1\n\"two\nlines\"\t7\t\t\n"
                      "\"\"\"quoted\"\"\"\t-1\t1999-12-31 23:59:59" + ms + "\t2.5")
        << copied.toStdString();
    grid->moveToNewRecordRow();
    go(3, 1);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(db.rows("SELECT txt, n, at, f FROM Notes WHERE id > 3 ORDER BY id;"),
              db.rows("SELECT txt, n, at, f FROM Notes WHERE id <= 3 ORDER BY id;"));
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM Notes;"), "6");
    EXPECT_EQ(model().rowCount(), 7);
}

TEST_F(Grid, DuplicateRowWithoutKeyIsRefusedInTheGridsOwnMessage)
{
    db.exec("CREATE TABLE [Dup] ([a] int, [b] nvarchar(10));"
            "INSERT INTO Dup VALUES (1, 'same'), (1, 'same'), (2, 'other');");
    open("Dup");
    ASSERT_EQ(shown(0, 1), "same");
    ASSERT_EQ(shown(2, 1), "other");
    go(0, 1);
    type("changed");
    key(Qt::Key_Down);
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_TRUE(t.prompter.shown[0].text.contains("duplicate rows and no key")) << t.prompter.shown[0].text.toStdString();
    EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(row(), 0);
    EXPECT_EQ(shown(0, 1), "changed");
    EXPECT_EQ(db.column("SELECT b FROM Dup ORDER BY a, b;"), QStringList({"same", "same", "other"}));
    // The other, unique row can still be changed.
    key(Qt::Key_Escape);
    go(2, 1);
    type("new");
    key(Qt::Key_Up);
    EXPECT_EQ(db.column("SELECT b FROM Dup ORDER BY a, b;"), QStringList({"same", "same", "new"}));
}

TEST_F(Grid, ClearShowsNoTable)
{
    db.exec("CREATE TABLE [T] ([id] int);");
    open("T");
    EXPECT_EQ(model().rowCount(), 1); // an empty table shows only the new-record row
    grid->clear();
    EXPECT_FALSE(grid->hasTable());
    EXPECT_EQ(model().rowCount(), 0);
    EXPECT_EQ(grid->gridSource().rowCount(), 0);
    EXPECT_TRUE(grid->commitPendingRow());
}

} // namespace
} // namespace tabulon
