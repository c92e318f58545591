// The row set against a real driver: what it reads, and what reaches the database file when a
// row is written, inserted, deleted or refused. Checked on the file itself, apart from the
// connection under test.

#include "support/TestDatabase.h"
#include "tables/RowSet.h"
#include "tables/ValueFormat.h"

#include <gtest/gtest.h>

#include <cctype>

namespace tabulon {
namespace {

using Status = RowWriteResult::Status;

class RowSetWrite : public ::testing::Test {
protected:
    std::unique_ptr<RowSet> open(const QString& table) { return RowSet::open(db.connect(), table); }
    int col(const RowSet& rows, const char* name)
    {
        for (int c = 0; c < rows.columnCount(); ++c)
            if (rows.columnName(c) == QLatin1String(name))
                return c;
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
    // Typed text into a cell, as the grid does it.
    void type(RowSet& rows, qsizetype row, const char* column, const QString& text)
    {
        const int c = col(rows, column);
        ParsedValue parsed = parseValue(rows.column(c), text);
        ASSERT_TRUE(parsed.ok) << parsed.problem.toStdString();
        rows.setCell(row, c, parsed.value);
    }
    QString shown(const RowSet& rows, qsizetype row, const char* column)
    {
        const int c = col(rows, column);
        return displayText(rows.column(c), rows.shown(row, c));
    }
    test::TestDatabase db;
};

TEST_F(RowSetWrite, UpdateWithKeyChangesThatRowOnly)
{
    db.exec("CREATE TABLE [People] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(50) NULL, [age] int NULL);"
            "INSERT INTO People VALUES (1, 'Ann', 30), (2, 'Bob', 40);");
    auto rows = open("People");
    ASSERT_EQ(rows->keyColumns(), std::vector<int>{0});
    type(*rows, 1, "name", "Robert");
    EXPECT_TRUE(rows->hasPendingEdit(1));
    EXPECT_EQ(shown(*rows, 1, "name"), "Robert");
    EXPECT_EQ(QString::fromUtf8(rows->stored(1, 1).bytes.data(), 3), "Bob"); // originals stay as read

    const RowWriteResult r = rows->writeRow(1);
    EXPECT_EQ(r.status, Status::Written);
    EXPECT_FALSE(rows->hasPendingEdit(1));
    EXPECT_EQ(db.rows("SELECT id, name, age FROM People ORDER BY id;"),
              (std::vector<QStringList>{{"1", "Ann", "30"}, {"2", "Robert", "40"}}));
    EXPECT_EQ(shown(*rows, 1, "name"), "Robert");
}

TEST_F(RowSetWrite, UpdateWithoutKeyMatchesEveryValueAsRead)
{
    db.exec("CREATE TABLE [Notes] ([a] int NULL, [b] nvarchar(20) NULL, [c] float NULL, [d] datetime NULL);"
            "INSERT INTO Notes VALUES (1, 'x', 0.1, '2024-02-29 23:59:59.997'), (1, 'x', 0.30000000000000004, "
            "'2024-02-29 23:59:59.997'), (2, NULL, NULL, NULL);");
    auto rows = open("Notes");
    ASSERT_TRUE(rows->keyColumns().empty());
    ASSERT_EQ(rows->rowCount(), 3);
    // The first two rows differ only in the last bits of [c]; the server keeps no order of its
    // own, so the rows are told apart by their values.
    qsizetype tiny = -1, unset = -1;
    for (qsizetype r = 0; r < rows->rowCount(); ++r) {
        const odbc::CellView c = rows->stored(r, col(*rows, "c"));
        if (c.kind == odbc::Kind::Real && c.real > 0.2)
            tiny = r;
        if (c.kind == odbc::Kind::Null)
            unset = r;
    }
    ASSERT_GE(tiny, 0);
    ASSERT_GE(unset, 0);
    // Floats and dates are bound back exactly as read, so they find their own row.
    type(*rows, tiny, "b", "y");
    EXPECT_EQ(rows->writeRow(tiny).status, Status::Written);
    // NULLs are matched with IS NULL.
    type(*rows, unset, "a", "3");
    EXPECT_EQ(rows->writeRow(unset).status, Status::Written);
    EXPECT_EQ(db.rows("SELECT a, b FROM Notes ORDER BY a, c;"),
              (std::vector<QStringList>{{"1", "x"}, {"1", "y"}, {"3", QString()}}));
}

TEST_F(RowSetWrite, NullInAndOut)
{
    db.exec("CREATE TABLE [T] ([id] int NOT NULL PRIMARY KEY, [n] int NULL, [s] nvarchar(20) NULL, "
            "[d] date NULL, [m] decimal(10,2) NULL);"
            "INSERT INTO T VALUES (1, 5, 'five', '2024-05-05', 5.5), (2, NULL, NULL, NULL, NULL);");
    auto rows = open("T");
    for (const char* c : {"n", "s", "d", "m"})
        rows->setCell(0, col(*rows, c), odbc::Value::null());
    type(*rows, 1, "n", "7");
    type(*rows, 1, "s", ""); // an empty text cell is the empty string, not NULL
    type(*rows, 1, "d", "2024-7-7");
    type(*rows, 1, "m", "7.25");
    EXPECT_EQ(rows->writeRow(0).status, Status::Written);
    EXPECT_EQ(rows->writeRow(1).status, Status::Written);
    EXPECT_EQ(db.rows("SELECT n, s, d, m FROM T ORDER BY id;"),
              (std::vector<QStringList>{{QString(), QString(), QString(), QString()},
                                        {"7", "", "2024-07-07", "7.25"}}));
    EXPECT_EQ(rows->shown(0, col(*rows, "n")).kind, odbc::Kind::Null);
    EXPECT_EQ(shown(*rows, 1, "d"), "2024-07-07");
}

TEST_F(RowSetWrite, InsertLeavesIdentityToTheServerAndShowsIt)
{
    db.exec("CREATE TABLE [Orders] (" + db.autoKey() + ", [item] nvarchar(30) NOT NULL, [qty] int NULL DEFAULT 1);");
    // A row numbered by hand first, so the server's next number is known.
    db.exec(db.isTsql() ? "SET IDENTITY_INSERT Orders ON; INSERT INTO Orders (id, item) VALUES (41, 'pen'); "
                          "SET IDENTITY_INSERT Orders OFF;"
                        : "INSERT INTO Orders (id, item) VALUES (41, 'pen');");
    auto rows = open("Orders");
    EXPECT_FALSE(rows->isEditable(col(*rows, "id")));
    const qsizetype fresh = rows->newRecordRow();
    type(*rows, fresh, "item", "ink");
    EXPECT_TRUE(rows->hasPendingEdit(fresh));
    const RowWriteResult r = rows->writeRow(fresh);
    ASSERT_EQ(r.status, Status::Written) << r.detail.toStdString();
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(shown(*rows, 1, "id"), "42");
    EXPECT_EQ(shown(*rows, 1, "qty"), "1"); // the server's default, read back
    EXPECT_FALSE(rows->hasPendingEdit(rows->newRecordRow()));
    EXPECT_EQ(db.rows("SELECT id, item, qty FROM Orders ORDER BY id;"),
              (std::vector<QStringList>{{"41", "pen", "1"}, {"42", "ink", "1"}}));
    // The inserted row is a row like the others: it can be changed and deleted.
    type(*rows, 1, "qty", "3");
    EXPECT_EQ(rows->writeRow(1).status, Status::Written);
    EXPECT_EQ(db.value("SELECT qty FROM Orders WHERE id = 42;"), "3");
    EXPECT_EQ(rows->deleteRow(1).status, Status::Written);
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM Orders;"), "1");
}

// Triggers that write other rows, of another table and of the same one, and report their own
// row counts (SET NOCOUNT OFF): a row is still written once, counted by the statement's own
// rows, and a new row shows its own identity, not one the trigger generated elsewhere.
class RowSetTriggers : public RowSetWrite {
protected:
    void SetUp() override
    {
        // Audit numbers from 500, so a trigger's identity is never mistaken for an order's.
        if (db.isTsql()) {
            db.exec("CREATE TABLE [Audit] ([aid] int IDENTITY(500,1) NOT NULL PRIMARY KEY, [note] nvarchar(50) NULL);");
        } else {
            db.exec("CREATE TABLE [Audit] (" + db.autoKey("aid") + ", [note] nvarchar(50) NULL);"
                    "INSERT INTO [Audit] ([aid], [note]) VALUES (499, 'seed');");
        }
        db.exec("CREATE TABLE [Orders] (" + db.autoKey() + ", [item] nvarchar(30) NULL, "
                "[touched] int NOT NULL DEFAULT 0);"
                "CREATE TABLE [Loose] ([a] int NULL, [b] nvarchar(10) NULL);"
                "INSERT INTO [Orders] ([item]) VALUES ('pen');"
                "INSERT INTO [Orders] ([item]) VALUES ('ink');"
                "INSERT INTO [Loose] VALUES (NULL, NULL), (NULL, NULL), (1, 'x'), (2, 'y'), (2, 'y');");
        if (db.isTsql()) {
            // Each statement of a trigger reports its count; the last one here touches two rows.
            db.exec("CREATE TRIGGER [OrdersAudit] ON [Orders] AFTER INSERT, UPDATE, DELETE AS BEGIN "
                    "SET NOCOUNT OFF; "
                    "INSERT INTO [Audit] ([note]) SELECT [item] FROM inserted; "
                    "INSERT INTO [Audit] ([note]) VALUES ('a'), ('b'); "
                    "UPDATE [Orders] SET [touched] = [touched] + 1 WHERE [id] NOT IN (SELECT [id] FROM inserted); "
                    "END");
            // ... and here one row, whatever the statement matched.
            db.exec("CREATE TRIGGER [LooseAudit] ON [Loose] AFTER UPDATE, DELETE AS BEGIN "
                    "SET NOCOUNT OFF; INSERT INTO [Audit] ([note]) VALUES ('loose'); END");
        } else {
            db.exec("CREATE TRIGGER [OrdersIns] AFTER INSERT ON [Orders] BEGIN "
                    "INSERT INTO [Audit] ([note]) VALUES (NEW.[item]); INSERT INTO [Audit] ([note]) VALUES ('a'), ('b'); "
                    "UPDATE [Orders] SET [touched] = [touched] + 1 WHERE [id] <> NEW.[id]; END;"
                    "CREATE TRIGGER [OrdersUpd] AFTER UPDATE OF [item] ON [Orders] BEGIN "
                    "INSERT INTO [Audit] ([note]) VALUES (NEW.[item]); INSERT INTO [Audit] ([note]) VALUES ('a'), ('b'); "
                    "UPDATE [Orders] SET [touched] = [touched] + 1 WHERE [id] <> NEW.[id]; END;"
                    "CREATE TRIGGER [OrdersDel] AFTER DELETE ON [Orders] BEGIN "
                    "INSERT INTO [Audit] ([note]) VALUES ('a'), ('b'); UPDATE [Orders] SET [touched] = [touched] + 1; END;"
                    "CREATE TRIGGER [LooseUpd] AFTER UPDATE ON [Loose] BEGIN "
                    "INSERT INTO [Audit] ([note]) VALUES ('loose'); END;"
                    "CREATE TRIGGER [LooseDel] AFTER DELETE ON [Loose] BEGIN "
                    "INSERT INTO [Audit] ([note]) VALUES ('loose'); END;");
        }
    }
    QString audited(const char* note)
    {
        return db.value(std::string("SELECT COUNT(*) FROM [Audit] WHERE [note] = '") + note + "';");
    }
    // The first row that shows the text in the column; a null text: the first row holding NULL.
    qsizetype rowOf(const RowSet& rows, const char* column, const QString& text)
    {
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            const bool isNull = rows.shown(r, col(rows, column)).kind == odbc::Kind::Null;
            if (text.isNull() ? isNull : !isNull && shown(rows, r, column) == text)
                return r;
        }
        ADD_FAILURE() << "no row shows " << (text.isNull() ? "NULL" : text.toStdString());
        return 0;
    }
};

TEST_F(RowSetTriggers, RowsWithAKeyAreWrittenOnceAndShowTheirOwnIdentity)
{
    auto rows = open("Orders");
    ASSERT_EQ(rows->rowCount(), 2);

    const qsizetype pen = rowOf(*rows, "item", "pen");
    type(*rows, pen, "item", "pencil");
    RowWriteResult r = rows->writeRow(pen);
    EXPECT_EQ(r.status, Status::Written) << describeRefusal(*rows, r).toStdString();
    EXPECT_EQ(audited("pencil"), "1"); // written once

    const qsizetype fresh = rows->newRecordRow();
    type(*rows, fresh, "item", "cap");
    r = rows->writeRow(fresh);
    ASSERT_EQ(r.status, Status::Written) << describeRefusal(*rows, r).toStdString();
    ASSERT_EQ(rows->rowCount(), 3);
    EXPECT_EQ(shown(*rows, 2, "id"), "3");
    EXPECT_EQ(shown(*rows, 2, "item"), "cap");
    EXPECT_EQ(audited("cap"), "1");

    const qsizetype ink = rowOf(*rows, "item", "ink");
    r = rows->deleteRow(ink);
    EXPECT_EQ(r.status, Status::Written) << describeRefusal(*rows, r).toStdString();
    EXPECT_EQ(db.rows("SELECT [id], [item] FROM [Orders] ORDER BY [id];"),
              (std::vector<QStringList>{{"1", "pencil"}, {"3", "cap"}}));

    // The layer underneath: the statement's own count and identity, with parameters and without.
    odbc::Param cup;
    cup.value = odbc::Value::fromText("cup");
    odbc::WriteOutcome own = rows->connection().executeWrite("INSERT INTO [Orders] ([item]) VALUES (?);", {cup}, true);
    EXPECT_EQ(own.rows, 1);
    EXPECT_EQ(own.identity, std::optional<std::int64_t>(4));
    own = rows->connection().executeWrite("INSERT INTO [Orders] DEFAULT VALUES;", {}, true);
    EXPECT_EQ(own.rows, 1);
    EXPECT_EQ(own.identity, std::optional<std::int64_t>(5));
    EXPECT_EQ(rows->connection().executeWrite("UPDATE [Orders] SET [item] = 'all';").rows, 4);
    EXPECT_EQ(rows->connection().executeWrite("DELETE FROM [Orders] WHERE [id] > 100;").rows, 0);
}

TEST_F(RowSetTriggers, RowsWithoutKeyStillCountTheirOwnMatches)
{
    auto rows = open("Loose");
    ASSERT_EQ(rows->rowCount(), 5);

    // Two rows of nothing but NULLs: the statement matches both, the trigger reports one.
    const qsizetype blank = rowOf(*rows, "a", QString());
    RowWriteResult r = rows->deleteRow(blank);
    EXPECT_EQ(r.status, Status::ManyRowsMatched) << describeRefusal(*rows, r).toStdString();
    const qsizetype twin = rowOf(*rows, "b", "y");
    type(*rows, twin, "b", "q");
    r = rows->writeRow(twin);
    EXPECT_EQ(r.status, Status::ManyRowsMatched) << describeRefusal(*rows, r).toStdString();
    rows->dropEdit(twin);
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM [Loose];"), "5");
    EXPECT_EQ(audited("loose"), "0"); // the refused statements and what their triggers did were undone

    const qsizetype x = rowOf(*rows, "b", "x");
    type(*rows, x, "b", "z");
    r = rows->writeRow(x);
    EXPECT_EQ(r.status, Status::Written) << describeRefusal(*rows, r).toStdString();
    EXPECT_EQ(db.value("SELECT [b] FROM [Loose] WHERE [a] = 1;"), "z");

    // Gone elsewhere: the statement matches nothing, though the trigger still reports a row.
    db.exec("DELETE FROM [Loose] WHERE [a] IS NULL OR [a] = 1;");
    const int before = audited("loose").toInt();
    EXPECT_EQ(rows->deleteRow(rowOf(*rows, "a", QString())).status, Status::NoRowMatched);
    EXPECT_EQ(rows->deleteRow(rowOf(*rows, "b", "z")).status, Status::NoRowMatched);
    EXPECT_EQ(audited("loose").toInt(), before);
    EXPECT_EQ(db.rows("SELECT [a], [b] FROM [Loose];"), (std::vector<QStringList>{{"2", "y"}, {"2", "y"}}));
}

TEST_F(RowSetWrite, DeleteRemovesOneRowThere)
{
    db.exec("CREATE TABLE [T] ([id] int NOT NULL PRIMARY KEY, [v] nvarchar(5));"
            "INSERT INTO T VALUES (1, 'a'), (2, 'b'), (3, 'c');");
    auto rows = open("T");
    EXPECT_EQ(rows->deleteRow(1).status, Status::Written);
    EXPECT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(shown(*rows, 1, "v"), "c");
    EXPECT_EQ(db.column("SELECT v FROM T ORDER BY id;"), QStringList({"a", "c"}));
}

TEST_F(RowSetWrite, DuplicateRowsWithoutKeyAreRefusedAndNothingChanges)
{
    db.exec("CREATE TABLE [Dup] ([a] int, [b] nvarchar(10));"
            "INSERT INTO Dup VALUES (1, 'same'), (1, 'same'), (2, 'other');");
    auto rows = open("Dup");
    ASSERT_EQ(shown(*rows, 0, "b"), "same");
    ASSERT_EQ(shown(*rows, 1, "b"), "same");
    type(*rows, 0, "b", "changed");
    const RowWriteResult update = rows->writeRow(0);
    EXPECT_EQ(update.status, Status::ManyRowsMatched);
    EXPECT_TRUE(rows->hasPendingEdit(0));
    EXPECT_EQ(shown(*rows, 0, "b"), "changed"); // the user's value stays in the row
    EXPECT_EQ(rows->deleteRow(1).status, Status::ManyRowsMatched);
    EXPECT_EQ(rows->rowCount(), 3);
    EXPECT_EQ(db.column("SELECT b FROM Dup ORDER BY a, b;"), QStringList({"same", "same", "other"}));
    EXPECT_TRUE(describeRefusal(*rows, update).contains("duplicate rows and no key"));
}

TEST_F(RowSetWrite, RowChangedElsewhereSinceItWasReadIsRefused)
{
    db.exec("CREATE TABLE [K] ([id] int NOT NULL PRIMARY KEY, [v] nvarchar(10), [w] int);"
            "CREATE TABLE [N] ([v] nvarchar(10), [w] int);"
            "INSERT INTO K VALUES (1, 'mine', 1), (2, 'gone', 2); INSERT INTO N VALUES ('mine', 1);");
    auto keyed = open("K");
    auto bare = open("N");
    db.exec("UPDATE K SET v = 'theirs' WHERE id = 1; DELETE FROM K WHERE id = 2; UPDATE N SET w = 9;");

    type(*keyed, 0, "v", "ours");
    const RowWriteResult r = keyed->writeRow(0);
    EXPECT_EQ(r.status, Status::NoRowMatched);
    EXPECT_TRUE(describeRefusal(*keyed, r).contains("changed or deleted by someone else since it was read"));
    EXPECT_TRUE(keyed->hasPendingEdit(0));
    type(*keyed, 1, "w", "5");
    EXPECT_EQ(keyed->writeRow(1).status, Status::NoRowMatched);
    type(*bare, 0, "v", "ours");
    EXPECT_EQ(bare->writeRow(0).status, Status::NoRowMatched);
    EXPECT_EQ(db.rows("SELECT id, v FROM K;"), (std::vector<QStringList>{{"1", "theirs"}}));
    EXPECT_EQ(db.rows("SELECT v, w FROM N;"), (std::vector<QStringList>{{"mine", "9"}}));

    // With a key, a change to a column the other writer did not touch still goes through.
    db.exec("INSERT INTO K VALUES (3, 'x', 3);");
    auto again = open("K");
    db.exec("UPDATE K SET v = 'y' WHERE id = 3;");
    type(*again, 1, "w", "30");
    EXPECT_EQ(again->writeRow(1).status, Status::Written);
    EXPECT_EQ(db.rows("SELECT v, w FROM K WHERE id = 3;"), (std::vector<QStringList>{{"y", "30"}}));
}

TEST_F(RowSetWrite, ReloadShowsTheServerRowOrDropsADeletedOne)
{
    db.exec("CREATE TABLE [K] ([id] int NOT NULL PRIMARY KEY, [v] nvarchar(10));"
            "INSERT INTO K VALUES (1, 'mine'), (2, 'two');");
    auto rows = open("K");
    db.exec("UPDATE K SET v = 'theirs' WHERE id = 1; DELETE FROM K WHERE id = 2;");
    type(*rows, 0, "v", "ours");
    EXPECT_EQ(rows->reloadRow(0).status, Status::Written);
    EXPECT_FALSE(rows->hasPendingEdit(0));
    EXPECT_EQ(shown(*rows, 0, "v"), "theirs");
    EXPECT_EQ(rows->reloadRow(1).status, Status::RowGone);
    EXPECT_EQ(rows->rowCount(), 1);
}

TEST_F(RowSetWrite, ServerRefusalKeepsTheEdit)
{
    db.exec("CREATE TABLE [T] ([id] int NOT NULL PRIMARY KEY, [v] nvarchar(10) NOT NULL);"
            "INSERT INTO T VALUES (1, 'a'), (2, 'b');");
    auto rows = open("T");
    rows->setCell(0, 1, odbc::Value::null());
    type(*rows, 0, "id", "5");
    const RowWriteResult notNull = rows->writeRow(0);
    EXPECT_EQ(notNull.status, Status::ServerError);
    EXPECT_FALSE(notNull.detail.isEmpty());
    EXPECT_TRUE(describeRefusal(*rows, notNull).contains(notNull.detail));
    EXPECT_TRUE(rows->hasPendingEdit(0));
    EXPECT_EQ(shown(*rows, 0, "id"), "5");
    EXPECT_EQ(db.rows("SELECT id, v FROM T ORDER BY id;"), (std::vector<QStringList>{{"1", "a"}, {"2", "b"}}));

    // A new row that breaks the key is refused and stays in the new-record row.
    type(*rows, rows->newRecordRow(), "id", "2");
    type(*rows, rows->newRecordRow(), "v", "dup");
    EXPECT_EQ(rows->writeRow(rows->newRecordRow()).status, Status::ServerError);
    EXPECT_EQ(rows->rowCount(), 2);
    EXPECT_TRUE(rows->hasPendingEdit(rows->newRecordRow()));
}

TEST_F(RowSetWrite, RefusedTextBlocksTheWrite)
{
    db.exec("CREATE TABLE [T] ([id] int NOT NULL PRIMARY KEY, [n] int);"
            "INSERT INTO T VALUES (1, 1);");
    auto rows = open("T");
    rows->setRefusedText(0, 1, "abc", "a whole number is expected.");
    const RowWriteResult r = rows->writeRow(0);
    EXPECT_EQ(r.status, Status::InvalidValue);
    EXPECT_EQ(r.column, 1);
    EXPECT_TRUE(describeRefusal(*rows, r).contains("\"abc\""));
    EXPECT_EQ(*rows->refusedText(0, 1), "abc");
    EXPECT_EQ(db.value("SELECT n FROM T;"), "1");
}

TEST_F(RowSetWrite, RowWithNothingToCompareIsNeverWrittenBlindly)
{
    db.exec("CREATE TABLE [Memo] ([body] text NULL);"
            "INSERT INTO Memo VALUES ('one'), ('two');");
    auto rows = open("Memo");
    type(*rows, 0, "body", "uno");
    EXPECT_EQ(rows->writeRow(0).status, Status::CannotIdentify);
    EXPECT_EQ(rows->deleteRow(0).status, Status::CannotIdentify);
    QStringList bodies = db.column("SELECT body FROM Memo;"); // text cannot be sorted on SQL Server
    bodies.sort();
    EXPECT_EQ(bodies, QStringList({"one", "two"}));
}

TEST_F(RowSetWrite, OddNamesAreBracketedWhole)
{
    db.exec("CREATE TABLE \"Order [Details x-y\" (\"id\" int NOT NULL PRIMARY KEY, \"va[l ue\" nvarchar(10));"
            "INSERT INTO \"Order [Details x-y\" VALUES (1, 'v');");
    auto rows = open("Order [Details x-y");
    ASSERT_EQ(rows->columnName(1), "va[l ue");
    type(*rows, 0, "va[l ue", "w");
    const RowWriteResult r = rows->writeRow(0);
    EXPECT_EQ(r.status, Status::Written) << r.detail.toStdString();
    type(*rows, rows->newRecordRow(), "id", "2");
    EXPECT_EQ(rows->writeRow(rows->newRecordRow()).status, Status::Written);
    EXPECT_EQ(rows->deleteRow(0).status, Status::Written);
    EXPECT_EQ(db.rows("SELECT id, \"va[l ue\" FROM \"Order [Details x-y\";"),
              (std::vector<QStringList>{{"2", QString()}}));
}

TEST_F(RowSetWrite, ANameThatTriesToEndTheStatementDropsNothing)
{
    // SQLite reads no doubled "]" inside brackets, so on this driver such a table cannot be
    // read at all; what matters is that the name never becomes a second statement.
    db.exec("CREATE TABLE \"x]; DROP TABLE [y\" ([id] int); INSERT INTO \"x]; DROP TABLE [y\" VALUES (1);"
            "CREATE TABLE [y] ([keep] int); INSERT INTO y VALUES (1);");
    EXPECT_THROW(open("x]; DROP TABLE [y"), odbc::Error);
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM y;"), "1");
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM \"x]; DROP TABLE [y\";"), "1");
}

TEST_F(RowSetWrite, GreekAndEmojiTravelBothWays)
{
    const QString greek = QStringLiteral("Καλημέρα κόσμε");
    const QString emoji = QStringLiteral("smile \U0001F600 and \u00E9");
    db.exec("CREATE TABLE [Ω] ([id] int NOT NULL PRIMARY KEY, [λέξη] nvarchar(40));");
    db.exec("INSERT INTO [Ω] VALUES (1, '" + greek.toStdString() + "');");
    auto rows = open(QStringLiteral("Ω"));
    EXPECT_EQ(rows->columnName(1), QStringLiteral("λέξη"));
    EXPECT_EQ(displayText(rows->column(1), rows->stored(0, 1)), greek);
    rows->setCell(0, 1, odbc::Value::fromText(emoji.toStdString()));
    EXPECT_EQ(rows->writeRow(0).status, Status::Written);
    EXPECT_EQ(db.value("SELECT [λέξη] FROM [Ω];"), emoji);
    // ... and the value now stored matches itself in the next write.
    rows->setCell(0, 1, odbc::Value::fromText(greek.toStdString()));
    EXPECT_EQ(rows->writeRow(0).status, Status::Written);
    EXPECT_EQ(db.value("SELECT [λέξη] FROM [Ω];"), greek);
}

TEST_F(RowSetWrite, FloatsDatesAndEveryOtherKindMatchThemselvesWithoutKey)
{
    db.exec("CREATE TABLE [Mixed] ([i] int, [f] float, [r] real, [m] decimal(10,2), [dt] datetime, [d] date, "
            "[b] bit, [g] uniqueidentifier, [bin] varbinary(8), [s] nvarchar(10));"
            "INSERT INTO Mixed VALUES (1, 1.0/3, 0.1, 12.5, '2024-01-02 03:04:05.123', '2024-01-02', 1, "
            "'6F9619FF-8B86-D011-B42D-00C04FC964FF', "
            + std::string(db.isTsql() ? "0x00FF" : "x'00FF'") + ", 'a');");
    auto rows = open("Mixed");
    EXPECT_EQ(shown(*rows, 0, "bin"), "0x00FF");
    EXPECT_EQ(shown(*rows, 0, "b"), "1");
    EXPECT_EQ(shown(*rows, 0, "dt"), "2024-01-02 03:04:05.123");
    type(*rows, 0, "s", "b");
    EXPECT_EQ(rows->writeRow(0).status, Status::Written);
    type(*rows, 0, "bin", "0x0102");
    type(*rows, 0, "f", "2.5");
    EXPECT_EQ(rows->writeRow(0).status, Status::Written);
    EXPECT_EQ(db.rows("SELECT s, bin, f FROM Mixed;"),
              (std::vector<QStringList>{{"b", QString::fromLatin1("\x01\x02", 2), "2.5"}}));
}

TEST_F(RowSetWrite, CancelledOpenKeepsNothingAndProgressCounts)
{
    db.exec("CREATE TABLE [Big] ([id] int NOT NULL PRIMARY KEY, [v] nvarchar(20));");
    db.exec(db.isTsql() ? "WITH n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 20000) "
                          "INSERT INTO Big SELECT x, 'row ' + CAST(x AS nvarchar(10)) FROM n OPTION (MAXRECURSION 0);"
                        : "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 20000) "
                          "INSERT INTO Big SELECT x, 'row ' || x FROM n;");
    std::vector<std::size_t> seen;
    auto all = RowSet::open(db.connect(), "Big", [&](std::size_t n) {
        seen.push_back(n);
        return true;
    });
    ASSERT_TRUE(all);
    EXPECT_EQ(all->rowCount(), 20000);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 20000u);
    EXPECT_EQ(displayText(all->column(1), all->stored(19999, 1)), "row 20000");
    EXPECT_EQ(all->stored(70000 % 20000, 0).integer, 10001);

    int calls = 0;
    auto stopped = RowSet::open(db.connect(), "Big", [&](std::size_t) { return ++calls < 2; });
    EXPECT_EQ(stopped, nullptr);
    EXPECT_EQ(calls, 2);
}

TEST_F(RowSetWrite, MissingTableThrowsTheDriversText)
{
    try {
        open("NoSuchTable");
        FAIL() << "opened a table that does not exist";
    } catch (const odbc::Error& e) {
        // The engine under the tests lower-cases names in its messages; SQL Server and SQLite do not.
        const QString text = QString::fromStdString(e.description());
        EXPECT_TRUE(text.contains("NoSuchTable", db.isTsql() ? Qt::CaseInsensitive : Qt::CaseSensitive))
            << e.description();
    }
}

// Long values of every long type, written by insert and by update and matched by themselves
// in the next update, reach the server whole and come back whole. Lengths sit on both sides of
// the 4,000 characters and 8,000 bytes where the short parameter types end.
struct LongCase {
    const char* tsqlType;   // nullptr: the engine has no such type
    const char* sqliteType;
    enum { Wide, Narrow, Bytes } kind;
};

void PrintTo(const LongCase& c, std::ostream* os)
{
    *os << (c.tsqlType ? c.tsqlType : c.sqliteType);
}

class RowSetLongValues : public RowSetWrite, public ::testing::WithParamInterface<LongCase> {
protected:
    // A value of `length` characters (bytes for binary) that differs with `seed`; wide text
    // holds letters from beyond Latin-1 as well.
    static odbc::Value longValue(std::size_t length, int seed)
    {
        if (GetParam().kind == LongCase::Bytes) {
            std::string bytes(length, '\0');
            for (std::size_t i = 0; i < length; ++i)
                bytes[i] = static_cast<char>((i * 7 + std::size_t(seed)) % 256);
            return odbc::Value::fromBinary(std::move(bytes));
        }
        static const QString wide = QStringLiteral("abcdefghij\u03A9\u03BB\u00E9\u0416 KLMNOP");
        static const QString narrow = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789 ,.-");
        const QString& alphabet = GetParam().kind == LongCase::Wide ? wide : narrow;
        QString text(static_cast<qsizetype>(length), QLatin1Char(' '));
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = alphabet[(i + seed) % alphabet.size()];
        return odbc::Value::fromText(text.toStdString());
    }
    // What the fixture reads back for the value.
    static QString expected(const odbc::Value& v)
    {
        return v.kind == odbc::Kind::Binary ? QString::fromLatin1(v.bytes.data(), qsizetype(v.bytes.size()))
                                            : QString::fromStdString(v.bytes);
    }
};

TEST_P(RowSetLongValues, ReachTheServerWholeAndComeBackWhole)
{
    const char* type = db.isTsql() ? GetParam().tsqlType : GetParam().sqliteType;
    if (!type)
        GTEST_SKIP() << "this engine has no such type";
    // No key: each row is found by its values, the long one too where it can be compared.
    db.exec(std::string("CREATE TABLE [Long] ([n] int NOT NULL, [v] ") + type + " NULL);");
    auto rows = open("Long");
    ASSERT_TRUE(rows->keyColumns().empty());
    const int v = col(*rows, "v");
    const std::vector<std::size_t> lengths{3999, 4000, 4001, 7999, 8000, 8001, std::size_t(1) << 20};
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "length " << lengths[i]);
        const std::string where = " FROM [Long] WHERE [n] = " + std::to_string(i) + ";";
        const odbc::Value inserted = longValue(lengths[i], 1);
        const qsizetype fresh = rows->newRecordRow();
        rows->setCell(fresh, col(*rows, "n"), odbc::Value::fromInteger(static_cast<std::int64_t>(i)));
        rows->setCell(fresh, v, inserted);
        RowWriteResult r = rows->writeRow(fresh);
        ASSERT_EQ(r.status, Status::Written) << r.detail.toStdString();
        EXPECT_EQ(db.value("SELECT [v]" + where), expected(inserted));
        ASSERT_EQ(odbc::Value::fromView(rows->stored(fresh, v)), inserted); // as the server read it back

        // Changed twice: the second time the row is found by the long value the first wrote.
        for (int seed : {2, 3}) {
            const odbc::Value changed = longValue(lengths[i], seed);
            rows->setCell(fresh, v, changed);
            r = rows->writeRow(fresh);
            ASSERT_EQ(r.status, Status::Written) << r.detail.toStdString();
            EXPECT_EQ(db.value("SELECT [v]" + where), expected(changed));
            EXPECT_EQ(odbc::Value::fromView(rows->stored(fresh, v)), changed);
        }
    }
    EXPECT_EQ(db.value("SELECT COUNT(*) FROM [Long];"), QString::number(lengths.size()));
}

INSTANTIATE_TEST_SUITE_P(EveryLongType, RowSetLongValues,
                         ::testing::Values(LongCase{"nvarchar(max)", nullptr, LongCase::Wide},
                                           LongCase{"varchar(max)", nullptr, LongCase::Narrow},
                                           LongCase{"varbinary(max)", nullptr, LongCase::Bytes},
                                           LongCase{"ntext", "ntext", LongCase::Wide},
                                           LongCase{"text", "text", LongCase::Narrow},
                                           LongCase{"image", "image", LongCase::Bytes},
                                           LongCase{nullptr, "blob", LongCase::Bytes}),
                         [](const ::testing::TestParamInfo<LongCase>& info) {
                             std::string name = info.param.tsqlType ? info.param.tsqlType : info.param.sqliteType;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// A value longer than its column is refused by SQL Server with its own message and nothing is
// kept, never cut to the column's size. (SQLite keeps whatever it is given, whole.)
TEST_F(RowSetWrite, ValueLongerThanItsColumnIsRefusedNotCut)
{
    struct Case {
        const char* column;
        std::size_t length;
    };
    db.exec("CREATE TABLE [Short] ([id] int NOT NULL PRIMARY KEY, [n10] nvarchar(10) NULL, [n4000] nvarchar(4000) NULL, "
            "[v8000] varchar(8000) NULL, [b8000] varbinary(8000) NULL);"
            "INSERT INTO [Short] ([id]) VALUES (1);");
    auto rows = open("Short");
    for (const Case& c : {Case{"n10", 11}, Case{"n4000", 4001}, Case{"v8000", 8001}, Case{"b8000", 8001}}) {
        SCOPED_TRACE(c.column);
        const int column = col(*rows, c.column);
        const odbc::Value value = rows->column(column).kind == odbc::Kind::Binary
            ? odbc::Value::fromBinary(std::string(c.length, '\x5A'))
            : odbc::Value::fromText(std::string(c.length, 'x'));
        rows->setCell(0, column, value);
        const RowWriteResult r = rows->writeRow(0);
        const QString stored = db.value(std::string("SELECT [") + c.column + "] FROM [Short];");
        if (db.isTsql()) {
            EXPECT_EQ(r.status, Status::ServerError);
            EXPECT_FALSE(r.detail.isEmpty());
            EXPECT_TRUE(rows->hasPendingEdit(0));
            EXPECT_TRUE(stored.isNull()) << stored.size() << " characters kept";
            rows->dropEdit(0);
        } else {
            EXPECT_EQ(r.status, Status::Written) << r.detail.toStdString();
            EXPECT_EQ(stored.size(), qsizetype(c.length));
        }
    }
}

struct SortCase {
    const char* column;
    bool ascending;
    QStringList ids;
};

void PrintTo(const SortCase& c, std::ostream* os)
{
    *os << c.column << (c.ascending ? " ascending" : " descending");
}

class RowSetSort : public RowSetWrite, public ::testing::WithParamInterface<SortCase> {};

TEST_P(RowSetSort, NaturalOrderOfTheType)
{
    db.exec("CREATE TABLE [S] ([id] int NOT NULL PRIMARY KEY, [n] int, [t] nvarchar(10), [d] datetime, "
            "[m] decimal(10,2));"
            "INSERT INTO S VALUES (1, 10, 'beta', '2024-03-01 00:00:00', '10.5'),"
            " (2, 9, 'Alpha', '2023-12-31 23:59:59', '9.75'), (3, NULL, NULL, NULL, NULL),"
            " (4, 100, 'gamma', '2024-03-01 00:00:01', '-2'), (5, -1, 'delta', '2024-01-15 10:00:00', '100');");
    auto rows = open("S");
    rows->sortBy(col(*rows, GetParam().column), GetParam().ascending);
    QStringList ids;
    for (qsizetype r = 0; r < rows->rowCount(); ++r)
        ids << QString::number(rows->stored(r, 0).integer);
    EXPECT_EQ(ids, GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    ByType, RowSetSort,
    ::testing::Values(SortCase{"n", true, {"3", "5", "2", "1", "4"}}, SortCase{"n", false, {"4", "1", "2", "5", "3"}},
                      SortCase{"d", true, {"3", "2", "5", "1", "4"}}, SortCase{"d", false, {"4", "1", "5", "2", "3"}},
                      SortCase{"m", true, {"3", "4", "2", "1", "5"}}, SortCase{"m", false, {"5", "1", "2", "4", "3"}},
                      SortCase{"t", true, {"3", "2", "1", "5", "4"}}, SortCase{"t", false, {"4", "5", "1", "2", "3"}}));

} // namespace
} // namespace tabulon
