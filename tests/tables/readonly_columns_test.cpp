// Columns the server fills itself (identity, rowversion, computed): shown, marked in the header,
// refused at the first key before anything is typed or sent, and never written by an UPDATE or
// an INSERT. Key columns carry a mark of their own. What reached the server is read back
// through the fixture's own connection.

#include "support/Fakes.h"
#include "support/TestDatabase.h"
#include "tables/DataGrid.h"
#include "tables/RowSet.h"
#include "tables/RowSetModel.h"
#include "tables/ServerDialect.h"
#include "tables/ValueFormat.h"

#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace tabulon {
namespace {

using Rows = std::vector<QStringList>;
using Status = RowWriteResult::Status;

int col(const RowSet& rows, const char* name)
{
    for (int c = 0; c < rows.columnCount(); ++c)
        if (rows.columnName(c).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return c;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

class ReadOnlyColumns : public ::testing::Test {
protected:
    // An identity key, two columns a person types, a computed column, and (where the engine
    // has one) a rowversion. The names mix cases: some catalogues list them lower-cased.
    void SetUp() override
    {
        std::string sql = "CREATE TABLE [Orders] (" + db.autoKey("OrderId")
            + ", [Item] nvarchar(30) NOT NULL, [Qty] int NULL, [Total] AS ([Qty] * 2)";
        if (db.isTsql())
            sql += ", [Stamp] rowversion";
        sql += ");";
        db.exec(sql);
        db.exec("INSERT INTO [Orders] ([Item], [Qty]) VALUES ('pen', 1);"
                "INSERT INTO [Orders] ([Item], [Qty]) VALUES ('ink', 2);");
    }
    std::unique_ptr<RowSet> open() { return RowSet::open(db.connect(), QStringLiteral("Orders")); }
    // Everything the server holds, the stamp included, so that any write shows.
    Rows server()
    {
        return db.rows(db.isTsql() ? "SELECT OrderId, Item, Qty, Total, Stamp FROM Orders "
                                     "ORDER BY OrderId;"
                                   : "SELECT OrderId, Item, Qty, Total FROM Orders ORDER BY OrderId;");
    }
    std::vector<const char*> serverFilled() const
    {
        if (db.isTsql())
            return {"OrderId", "Total", "Stamp"};
        return {"OrderId", "Total"};
    }

    test::TestDatabase db;
};

TEST_F(ReadOnlyColumns, TheServersCatalogueNamesWhatItFillsItself)
{
    auto rows = open();
    for (const char* name : serverFilled())
        EXPECT_FALSE(rows->isEditable(col(*rows, name))) << name;
    EXPECT_TRUE(rows->isEditable(col(*rows, "Item")));
    EXPECT_TRUE(rows->isEditable(col(*rows, "Qty")));
    EXPECT_EQ(rows->keyColumns(), std::vector<int>{col(*rows, "OrderId")});
    EXPECT_TRUE(generatedReason(rows->column(col(*rows, "OrderId"))).contains("identity"));
    EXPECT_TRUE(generatedReason(rows->column(col(*rows, "Total"))).contains("computed"));
    if (db.isTsql())
        EXPECT_TRUE(generatedReason(rows->column(col(*rows, "Stamp"))).contains("rowversion"));
    EXPECT_TRUE(generatedReason(rows->column(col(*rows, "Item"))).isEmpty());
    // They are shown like any other column.
    EXPECT_EQ(displayText(rows->column(col(*rows, "Total")), rows->stored(1, col(*rows, "Total"))), "4");
    if (db.isTsql())
        EXPECT_TRUE(displayText(rows->column(col(*rows, "Stamp")), rows->stored(0, col(*rows, "Stamp")))
                        .startsWith("0x"));
}

TEST_F(ReadOnlyColumns, UpdateAndInsertLeaveThemOutEvenWhenAValueWasSet)
{
    auto rows = open();
    const Rows before = server();
    // Whatever reaches the row set for those columns is never sent: the server would refuse
    // the whole row.
    for (const char* name : serverFilled()) {
        const int c = col(*rows, name);
        rows->setCell(0, c, rows->column(c).kind == odbc::Kind::Binary ? odbc::Value::fromBinary("\x01\x02")
                                                                        : odbc::Value::fromInteger(99));
    }
    rows->setCell(0, col(*rows, "Qty"), odbc::Value::fromInteger(5));
    const RowWriteResult update = rows->writeRow(0);
    ASSERT_EQ(update.status, Status::Written) << update.detail.toStdString();
    const Rows after = server();
    EXPECT_EQ(after[0][0], before[0][0]); // the identity stays
    EXPECT_EQ(after[0][2], "5");
    EXPECT_EQ(after[0][3], "10"); // computed by the server from the new quantity
    EXPECT_EQ(after[1], before[1]);
    // The row shows the server's values again, read back.
    EXPECT_EQ(displayText(rows->column(col(*rows, "Total")), rows->shown(0, col(*rows, "Total"))), "10");
    EXPECT_EQ(displayText(rows->column(col(*rows, "OrderId")), rows->shown(0, col(*rows, "OrderId"))),
              before[0][0]);

    const qsizetype fresh = rows->newRecordRow();
    for (const char* name : serverFilled()) {
        const int c = col(*rows, name);
        rows->setCell(fresh, c, rows->column(c).kind == odbc::Kind::Binary ? odbc::Value::fromBinary("\x01\x02")
                                                                            : odbc::Value::fromInteger(77));
    }
    rows->setCell(fresh, col(*rows, "Item"), odbc::Value::fromText("cap"));
    rows->setCell(fresh, col(*rows, "Qty"), odbc::Value::fromInteger(4));
    const RowWriteResult insert = rows->writeRow(fresh);
    ASSERT_EQ(insert.status, Status::Written) << insert.detail.toStdString();
    EXPECT_EQ(db.rows("SELECT OrderId, Item, Qty, Total FROM Orders WHERE Item = 'cap';"),
              (Rows{{"3", "cap", "4", "8"}}));
    EXPECT_EQ(displayText(rows->column(col(*rows, "OrderId")), rows->shown(2, col(*rows, "OrderId"))), "3");
    EXPECT_EQ(displayText(rows->column(col(*rows, "Total")), rows->shown(2, col(*rows, "Total"))), "8");
}

// The grid over the same table, driven by keys and the mouse.
class ReadOnlyGrid : public ReadOnlyColumns {
protected:
    void SetUp() override
    {
        ReadOnlyColumns::SetUp();
        grid = std::make_unique<DataGrid>(t.ctx);
        grid->resize(900, 300);
        grid->show();
        grid->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(grid.get()));
        grid->setRowSet(open());
        grid->setFocus();
        ASSERT_TRUE(grid->hasTable());
    }
    QAbstractItemModel& model() { return *grid->model(); }
    QModelIndex at(int row, int column) { return model().index(row, column); }
    int colOf(const char* name) { return col(*grid->rowSet(), name); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(grid.get(), k, m);
        settle();
    }
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    QLineEdit* openEditor() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }
    // F2, the text over what was there, Enter: as typed into the current cell.
    void type(const char* text)
    {
        key(Qt::Key_F2);
        QLineEdit* editor = openEditor();
        ASSERT_NE(editor, nullptr) << "no cell editor opened";
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        settle();
    }

    test::TestContext t;
    std::unique_ptr<DataGrid> grid;
};

TEST_F(ReadOnlyGrid, TypingIntoAColumnTheServerFillsIsRefusedAtOnceInPlainWords)
{
    const Rows before = server();
    struct Attempt {
        const char* how;
        std::function<void(const QModelIndex&)> act;
    };
    const std::vector<Attempt> attempts = {
        {"a letter", [&](const QModelIndex&) { key(Qt::Key_7); }},
        {"F2", [&](const QModelIndex&) { key(Qt::Key_F2); }},
        {"a double click",
         [&](const QModelIndex& i) {
             const QPoint p = grid->visualRect(i).center();
             QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, p);
             QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, p);
             settle();
         }},
        {"Ctrl+0", [&](const QModelIndex&) { key(Qt::Key_0, Qt::ControlModifier); }},
        {"setData", [&](const QModelIndex& i) { model().setData(i, QStringLiteral("5")); settle(); }},
    };
    for (const char* name : serverFilled()) {
        for (const Attempt& attempt : attempts) {
            SCOPED_TRACE(std::string(name) + " by " + attempt.how);
            t.prompter.shown.clear();
            const QModelIndex cell = at(1, colOf(name));
            grid->setCurrentIndex(cell);
            const QString shownBefore = cell.data().toString();
            attempt.act(cell);
            ASSERT_EQ(t.prompter.shown.size(), 1u);
            const QString text = t.prompter.shown[0].text;
            EXPECT_TRUE(text.contains(QStringLiteral("\"%1\"").arg(grid->rowSet()->columnName(colOf(name)))))
                << text.toStdString();
            EXPECT_TRUE(text.contains("cannot be typed into")) << text.toStdString();
            EXPECT_TRUE(text.contains(generatedReason(grid->rowSet()->column(colOf(name))))) << text.toStdString();
            EXPECT_FALSE(text.contains("kept in the cell")) << text.toStdString();
            EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::Warning);
            EXPECT_EQ(openEditor(), nullptr); // no editor opened
            EXPECT_EQ(grid->currentIndex(), cell);                // nothing moved
            EXPECT_FALSE(grid->rowSetModel().hasPendingEdit(1));
            EXPECT_EQ(cell.data().toString(), shownBefore);
        }
    }
    EXPECT_TRUE(grid->commitPendingRow());
    EXPECT_EQ(server(), before); // nothing was sent: not even the stamp changed
}

TEST_F(ReadOnlyGrid, EditableCellsOfTheSameRowStillTakeTypingAndTheRowIsWritten)
{
    grid->setCurrentIndex(at(0, colOf("Qty")));
    type("6");
    key(Qt::Key_Down);
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_EQ(db.rows("SELECT Qty, Total FROM Orders WHERE Item = 'pen';"), (Rows{{"6", "12"}}));
    EXPECT_EQ(at(0, colOf("Total")).data().toString(), "12");

    // A new row leaves the server's columns to the server and shows what it made of them.
    grid->moveToNewRecordRow();
    const int fresh = grid->currentIndex().row();
    grid->setCurrentIndex(at(fresh, colOf("Item")));
    type("cap");
    key(Qt::Key_Up);
    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.shown[0].text.toStdString();
    EXPECT_EQ(db.rows("SELECT OrderId, Item, Qty, Total FROM Orders WHERE Item = 'cap';"),
              (Rows{{"3", "cap", QString(), QString()}}));
    EXPECT_EQ(at(fresh, colOf("OrderId")).data().toString(), "3");
}

TEST_F(ReadOnlyGrid, HeaderMarksKeyAndServerFilledColumnsDifferently)
{
    db.exec("CREATE TABLE [Keyed] ([code] nvarchar(5) NOT NULL PRIMARY KEY, [n] int NULL, [twice] AS ([n] * 2));");
    db.exec("INSERT INTO [Keyed] ([code], [n]) VALUES ('a', 1);");
    grid->setRowSet(RowSet::open(db.connect(), QStringLiteral("Keyed")));
    auto mark = [&](int c) { return model().headerData(c, Qt::Horizontal, Qt::DecorationRole); };
    auto tip = [&](int c) { return model().headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString(); };
    // The caption stays the bare name: the exports read it.
    EXPECT_EQ(model().headerData(0, Qt::Horizontal).toString(), "code");
    EXPECT_EQ(grid->gridSource().caption(2), "twice");

    ASSERT_TRUE(mark(0).canConvert<QIcon>());
    ASSERT_TRUE(mark(2).canConvert<QIcon>());
    EXPECT_FALSE(mark(1).isValid()); // an ordinary column carries no mark
    const QIcon keyMark = qvariant_cast<QIcon>(mark(0));
    const QIcon lockMark = qvariant_cast<QIcon>(mark(2));
    EXPECT_FALSE(keyMark.isNull());
    EXPECT_FALSE(lockMark.isNull());
    EXPECT_NE(keyMark.cacheKey(), lockMark.cacheKey());
    EXPECT_TRUE(tip(0).contains("Key")) << tip(0).toStdString();
    EXPECT_FALSE(tip(0).contains("Not editable")) << tip(0).toStdString();
    EXPECT_TRUE(tip(2).contains("Not editable")) << tip(2).toStdString();
    EXPECT_TRUE(tip(2).contains("computed")) << tip(2).toStdString();
    EXPECT_FALSE(tip(1).contains("Key")) << tip(1).toStdString();

    // An identity key carries both marks in one.
    grid->setRowSet(open());
    const QIcon both = qvariant_cast<QIcon>(model().headerData(colOf("OrderId"), Qt::Horizontal, Qt::DecorationRole));
    EXPECT_FALSE(both.isNull());
    EXPECT_NE(both.cacheKey(), keyMark.cacheKey());
    EXPECT_NE(both.cacheKey(), lockMark.cacheKey());
    EXPECT_GT(both.availableSizes().value(0).width(), keyMark.availableSizes().value(0).width());
    const QString idTip = model().headerData(colOf("OrderId"), Qt::Horizontal, Qt::ToolTipRole).toString();
    EXPECT_TRUE(idTip.contains("Key") && idTip.contains("identity")) << idTip.toStdString();
}

TEST(ServerDialect, CatalogueStatementCarriesTheNameAsAParameter)
{
    EXPECT_EQ(dialectOf("Microsoft SQL Server"), ServerDialect::SqlServer);
    EXPECT_EQ(dialectOf("SQLite"), ServerDialect::Sqlite);
    EXPECT_EQ(dialectOf("PostgreSQL"), ServerDialect::Other);
    const QString odd = QStringLiteral("O'Brien]; DROP TABLE [x");
    const CatalogueStatement sql = generatedColumnsStatement(ServerDialect::SqlServer, odd);
    EXPECT_EQ(sql.sql.find("O'Brien"), std::string::npos); // the name never enters the text
    ASSERT_EQ(sql.params.size(), 1u);
    EXPECT_EQ(sql.params[0].value.bytes, "[O'Brien]]; DROP TABLE [x]");
    EXPECT_NE(sql.sql.find("OBJECT_ID(?)"), std::string::npos);
    const CatalogueStatement lite = generatedColumnsStatement(ServerDialect::Sqlite, odd);
    ASSERT_EQ(lite.params.size(), 1u);
    EXPECT_EQ(lite.params[0].value.bytes, odd.toStdString());
    EXPECT_TRUE(generatedColumnsStatement(ServerDialect::Other, odd).sql.empty());
}

} // namespace
} // namespace tabulon
