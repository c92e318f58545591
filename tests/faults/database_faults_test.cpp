// The database refuses or changes under the open editor: locks held by someone else, the table
// dropped or altered, the file damaged, values the table refuses, rows changed, duplicated or
// deleted by someone else. Each time the person's row stays in edit with their values, nothing
// half done reaches the table, and what is in the table is read back apart from the program.

#include "FaultSupport.h"

#include "support/OdbcDrivers.h"

#include <QFile>
#include <QSignalSpy>

#include <sys/stat.h>

#include <atomic>
#include <thread>

namespace tabulon::faults {
namespace {

// Three orders numbered 1 to 3 by the engine.
std::string ordersTable(const test::TestDatabase& db)
{
    return "CREATE TABLE Orders (" + db.autoKey("id") +
           ", item NVARCHAR(20) NOT NULL, qty INT CONSTRAINT qty_positive CHECK (qty > 0));"
           "INSERT INTO Orders (item, qty) VALUES ('pen', 1), ('ink', 2), ('pad', 3);";
}

// Someone else's open transaction that holds the rows of Orders: SQLite locks the whole
// database for it; on SQL Server the rows it changed stay locked until it ends.
std::string holdingTheRows(const test::TestDatabase& db)
{
    return db.isSqlite() ? "BEGIN IMMEDIATE; UPDATE Orders SET qty = qty WHERE id = 3;"
                         : "BEGIN TRAN; UPDATE Orders SET qty = qty;";
}

// The same, holding the whole table, so that new rows wait as well: on SQL Server a change of
// the table's definition inside the transaction (rolled back later) holds it against everyone.
std::string holdingTheTable(const test::TestDatabase& db)
{
    return db.isSqlite() ? "BEGIN IMMEDIATE; UPDATE Orders SET qty = qty WHERE id = 3;"
                         : "BEGIN TRAN; ALTER TABLE Orders ADD held INT NULL;";
}

// Whether the message carries the driver's own words for a write that met such a lock:
// SQLite's, or the server's lock wait running out (SQL Server: "Lock request time out period
// exceeded", the test engine: "canceling statement due to lock timeout").
bool saysTheDriversLockWords(const test::TestDatabase& db, const QString& message)
{
    if (db.isSqlite())
        return message.contains(QStringLiteral("database table is locked"));
    const qsizetype server = message.indexOf(QStringLiteral("The server said: "));
    return server >= 0 && message.mid(server + 17).contains(QStringLiteral("lock"), Qt::CaseInsensitive);
}

// The driver's words for a table that is not there.
QString noSuchTableWords(const test::TestDatabase& db)
{
    return db.isSqlite() ? QStringLiteral("no such table") : QStringLiteral("orders");
}

Rows orders(Program& p)
{
    return p.db.rows("SELECT id, item, qty FROM Orders ORDER BY id;");
}

const Rows kOriginalOrders = {{"1", "pen", "1"}, {"2", "ink", "2"}, {"3", "pad", "3"}};

bool mentions(const QStringList& texts, const QString& part)
{
    for (const QString& t : texts)
        if (t.contains(part, Qt::CaseInsensitive))
            return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Someone else holds a lock

TEST(Locks, ARowLeftWhileAnotherConnectionHoldsTheTableStaysInEditAndIsWrittenOnceItIsFree)
{
    TABULON_RUN_IN_OWN_PROCESS();
    Program p;
    if (p.db.isSqlite())
        OtherConnection::shareCacheInThisProcess();
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    OtherConnection other(p.db);
    ASSERT_TRUE(other.exec(holdingTheRows(p.db))) << other.error();

    p.typeAt(0, 1, QStringLiteral("fountain pen"));
    p.go(1, 1); // leaving the row: refused, the row stays current
    QStringList said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].contains(QStringLiteral("locked by another user or program"))) << joined(said);
    EXPECT_TRUE(said[0].contains(QStringLiteral("Your changes are kept in the row"))) << joined(said);
    EXPECT_TRUE(saysTheDriversLockWords(p.db, said[0])) << "the driver's own words: " << joined(said);
    EXPECT_EQ(p.currentRow(), 0);
    EXPECT_TRUE(p.inEdit(0));
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("fountain pen"));

    // "Quit" meets the same refusal and asks once whether to leave all the same; "No" keeps
    // the window and the row.
    QSignalSpy quit(p.flow.get(), &WindowFlow::quitRequested);
    p.t.prompter.answers = {MessageAnswer::No};
    p.editor().PushButton3->click();
    settle();
    EXPECT_EQ(quit.count(), 0);
    said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].contains(QStringLiteral("locked by another user or program"))) << joined(said);
    EXPECT_TRUE(said[0].contains(QStringLiteral("Leave the table all the same?"))) << joined(said);
    EXPECT_TRUE(p.inEdit(0));

    ASSERT_TRUE(other.exec("ROLLBACK;")) << other.error();
    p.go(1, 1); // the retry
    said = p.said();
    EXPECT_TRUE(said.isEmpty()) << joined(said);
    EXPECT_EQ(p.currentRow(), 1);
    EXPECT_FALSE(p.inEdit(0));
    EXPECT_EQ(orders(p), (Rows{{"1", "fountain pen", "1"}, {"2", "ink", "2"}, {"3", "pad", "3"}}));
}

TEST(Locks, NewRowsAndDeletesWaitForTheLockToo)
{
    TABULON_RUN_IN_OWN_PROCESS();
    Program p;
    if (p.db.isSqlite())
        OtherConnection::shareCacheInThisProcess();
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    OtherConnection other(p.db);
    ASSERT_TRUE(other.exec(holdingTheTable(p.db))) << other.error();

    // A new row typed while the table is locked stays in the new-record row.
    p.typeAt(3, 1, QStringLiteral("stapler"));
    p.typeAt(3, 2, QStringLiteral("4"));
    p.go(0, 1);
    EXPECT_TRUE(mentions(p.said(), QStringLiteral("The new row was not saved: the table is locked")));
    EXPECT_EQ(p.currentRow(), 3);
    EXPECT_EQ(p.shown(3, 1), QStringLiteral("stapler"));
    p.key(Qt::Key_Escape); // drop the new row for now

    // A delete is refused and the row stays in the grid.
    p.go(1, 0);
    p.grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.key(Qt::Key_Delete);
    QStringList said = p.said();
    EXPECT_TRUE(mentions(said, QStringLiteral("The row was not deleted: the table is locked"))) << joined(said);
    EXPECT_EQ(p.grid().approximateRowCount(), 3);

    ASSERT_TRUE(other.exec("ROLLBACK;")) << other.error();
    EXPECT_EQ(orders(p), kOriginalOrders);
    p.grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.key(Qt::Key_Delete);
    EXPECT_EQ(p.grid().approximateRowCount(), 2);
    EXPECT_EQ(orders(p), (Rows{{"1", "pen", "1"}, {"3", "pad", "3"}}));
}

TEST(Locks, ALockReleasedWhileTheProgramWaitsLetsTheRowThrough)
{
    // Without a shared cache the SQLite driver waits for the lock (up to its 100 s), SQL Server
    // until the write's time limit; a lock that is released within that time costs the person
    // nothing but the wait.
    Program p;
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        OtherConnection other(p.db);
        other.exec(holdingTheRows(p.db));
        holding = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        other.exec("COMMIT;");
    });
    while (!holding)
        std::this_thread::yield();
    p.typeAt(0, 2, QStringLiteral("7"));
    p.go(1, 2);
    holder.join();
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_FALSE(p.inEdit(0));
    EXPECT_EQ(orders(p)[0], (QStringList{"1", "pen", "7"}));
}

// ---------------------------------------------------------------------------------------------
// The table changes under the editor

TEST(TableChanges, ATableDroppedWhileOpenKeepsTheEditAndTheCopy)
{
    Program p;
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    p.db.exec("DROP TABLE Orders;");

    p.typeAt(0, 1, QStringLiteral("fountain pen"));
    p.go(1, 1);
    QStringList said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("The row was not saved because the server refused it")))
        << joined(said);
    EXPECT_TRUE(said[0].contains(noSuchTableWords(p.db), Qt::CaseInsensitive)) << joined(said);
    EXPECT_TRUE(p.inEdit(0));
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("fountain pen"));

    // The copy is still there to be saved elsewhere: the export writes the rows as shown.
    const QString file = p.dir.filePath(QStringLiteral("rescued.txt"));
    p.t.files.answers = {file};
    p.editor().mnuTXT->trigger(); // refused first: the row in edit cannot be written
    EXPECT_FALSE(QFile::exists(file));
    p.said();
    p.key(Qt::Key_Escape);
    p.editor().mnuTXT->trigger();
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), QByteArray("id\titem\tqty\t\r\n1\tpen\t1\t\r\n2\tink\t2\t\r\n3\tpad\t3\t\r\n"));
}

TEST(TableChanges, ColumnsAddedOrDroppedBySomeoneElse)
{
    Program p;
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));

    // A column added elsewhere: the row is written; the new column shows at the next reading.
    p.db.exec("ALTER TABLE Orders ADD note NVARCHAR(20) NOT NULL DEFAULT 'x';");
    p.typeAt(0, 2, QStringLiteral("5"));
    p.go(1, 2);
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(p.db.rows("SELECT qty, note FROM Orders WHERE id = 1;"), (Rows{{"5", "x"}}));

    // The edited column dropped elsewhere: refused, kept in edit, nothing else changed.
    if (p.db.isTsql())
        p.db.exec("ALTER TABLE Orders DROP CONSTRAINT qty_positive;"); // SQL Server drops no column a constraint uses
    p.db.exec("ALTER TABLE Orders DROP COLUMN qty;");
    p.typeAt(1, 2, QStringLiteral("9"));
    p.go(2, 2);
    const QStringList said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].contains(QStringLiteral("qty"))) << joined(said);
    EXPECT_TRUE(p.inEdit(1));
    EXPECT_EQ(p.db.rows("SELECT id, item, note FROM Orders ORDER BY id;"),
              (Rows{{"1", "pen", "x"}, {"2", "ink", "x"}, {"3", "pad", "x"}}));
}

// A SQLite file overwritten with junk. On SQL Server the files are the server's own; what a
// person meets there instead is the database taken away from their login: the next write is
// refused and the next opening cannot reach the database.
TEST(TableChanges, ADamagedDatabaseFileRefusesTheWriteAndTheNextOpeningSaysWhy)
{
    Program p;
    p.db.exec(ordersTable(p.db));
    std::unique_ptr<Clerk> clerk;
    if (p.db.isTsql())
        clerk = std::make_unique<Clerk>(p, "Orders");
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    p.typeAt(0, 1, QStringLiteral("fountain pen"));

    if (p.db.isSqlite()) {
        // Someone overwrites the file with something that is no database.
        QFile file(p.db.databasePath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray junk(int(file.size()), 'J');
        file.write(junk);
    } else {
        // The administrator takes the database away from the login.
        p.db.exec("REVOKE SELECT, INSERT, UPDATE, DELETE ON Orders FROM [" + clerk->name() + "];");
        p.db.exec("DROP USER [" + clerk->name() + "];");
    }
    p.go(1, 1);
    const QStringList said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("The row was not saved"))) << joined(said);
    EXPECT_TRUE(p.inEdit(0));
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("fountain pen"));

    // Back to the chooser and into the table again: the report names the failing line: the
    // reading of the table on SQLite (whose driver opens any file), the opening of the
    // connection on SQL Server (the login may no longer enter the database).
    p.key(Qt::Key_Escape);
    p.editor().PushButton1->click();
    settle();
    ASSERT_TRUE(p.chooser().isVisible());
    p.chooser().PushButton3->click();
    settle();
    const auto errors = p.t.prompter.errors();
    ASSERT_FALSE(errors.empty());
    const QString line = p.db.isSqlite() ? QStringLiteral("at line 126") : QStringLiteral("at line 114");
    EXPECT_TRUE(errors.front().text.contains(line)) << errors.front().text.toStdString();
    EXPECT_FALSE(p.grid().hasTable());
    if (p.db.isTsql()) {
        EXPECT_EQ(orders(p), kOriginalOrders);
    }
}

// SQLite: the folder made read-only, then the file unreadable. SQL Server: the login's right to
// change the table taken away, then its right to read it.
TEST(TableChanges, ADatabaseThatCannotBeWrittenOrReadKeepsTheRowAndSaysWhy)
{
    if (test::testEngine() == test::Engine::Sqlite)
        TABULON_RUN_AS_ORDINARY_USER();
    Program p;
    p.db.exec(ordersTable(p.db));
    std::unique_ptr<Clerk> clerk;
    if (p.db.isTsql())
        clerk = std::make_unique<Clerk>(p, "Orders");
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    const QByteArray folder = QFile::encodeName(p.db.folder());
    const QByteArray file = p.db.isSqlite() ? QFile::encodeName(p.db.databasePath()) : QByteArray();

    // SQLite cannot make its journal in a read-only folder, so the write is refused.
    if (p.db.isSqlite()) {
        ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    } else {
        p.db.exec("REVOKE UPDATE ON Orders FROM [" + clerk->name() + "];");
    }
    p.typeAt(0, 1, QStringLiteral("fountain pen"));
    p.go(1, 1);
    QStringList said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("The row was not saved"))) << joined(said);
    EXPECT_TRUE(p.inEdit(0));
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("fountain pen"));
    EXPECT_EQ(orders(p), kOriginalOrders);
    if (p.db.isSqlite()) {
        ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
    } else {
        p.db.exec("GRANT UPDATE ON Orders TO [" + clerk->name() + "];");
    }
    p.go(1, 1); // the retry
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(p.db.value("SELECT item FROM Orders WHERE id = 1;"), QStringLiteral("fountain pen"));

    // Reading taken away: the open table stays as it is; opening it again is refused with the
    // driver's reason at the line that opens the connection or reads the table.
    if (p.db.isSqlite()) {
        ASSERT_EQ(::chmod(file.constData(), 0000), 0);
    } else {
        p.db.exec("REVOKE SELECT ON Orders FROM [" + clerk->name() + "];");
    }
    p.editor().PushButton1->click();
    settle();
    p.chooser().PushButton3->click();
    settle();
    const auto errors = p.t.prompter.errors();
    ASSERT_FALSE(errors.empty()) << joined(p.said());
    EXPECT_TRUE(errors.front().text.contains(QStringLiteral("in Quarrix2020/08/02.Form2.PushButton3_Click at line 1")))
        << errors.front().text.toStdString();
    EXPECT_FALSE(p.grid().hasTable());
    if (p.db.isSqlite()) {
        ASSERT_EQ(::chmod(file.constData(), 0644), 0);
    }
    EXPECT_EQ(p.db.rows("SELECT id, item FROM Orders ORDER BY id;"),
              (Rows{{"1", "fountain pen"}, {"2", "ink"}, {"3", "pad"}}));
}

// ---------------------------------------------------------------------------------------------
// Values the table refuses

TEST(Refusals, ValuesTheTableRefusesKeepTheRowAndChangeNothing)
{
    struct Case {
        const char* what;
        int row, column;
        const char* typed;
        const char* sqliteSays; // part of the driver's text, or empty for a refusal before sending
        QStringList tsqlSays;   // words of the server's text (SQL Server and the test engine word it apart)
    };
    const Case cases[] = {
        {"a CHECK constraint", 0, 2, "0", "CHECK constraint failed", {"CHECK constraint", "qty_positive"}},
        {"NOT NULL", 1, 1, "", "NOT NULL constraint failed", {"NULL", "item"}},
        {"a number column given text", 2, 2, "three", "", {}},
        {"a number too big for int", 2, 2, "99999999999999999999", "", {}},
        {"a key that exists", 0, 0, "2", "UNIQUE constraint failed", {"duplicate key"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Program p;
        // A key the person types (one the engine numbers itself is not theirs to change).
        p.db.exec("CREATE TABLE Orders (id INT NOT NULL PRIMARY KEY, item NVARCHAR(20) NOT NULL,"
                  " qty INT CONSTRAINT qty_positive CHECK (qty > 0));"
                  "INSERT INTO Orders (id, item, qty) VALUES (1, 'pen', 1), (2, 'ink', 2), (3, 'pad', 3);");
        p.start();
        ASSERT_TRUE(p.open(QStringLiteral("Orders")));
        if (QString::fromUtf8(c.typed).isEmpty()) {
            p.go(c.row, c.column);
            p.key(Qt::Key_0, Qt::ControlModifier); // NULL
        } else {
            p.typeAt(c.row, c.column, QString::fromUtf8(c.typed));
        }
        p.go(c.row == 0 ? 1 : 0, c.column);
        const QStringList said = p.said();
        ASSERT_FALSE(said.isEmpty());
        EXPECT_TRUE(said.last().contains(QStringLiteral("not saved")) || said.last().contains(QStringLiteral("cannot be stored")))
            << joined(said);
        if (p.db.isSqlite() && *c.sqliteSays) {
            EXPECT_TRUE(said.last().contains(QString::fromUtf8(c.sqliteSays))) << joined(said);
        }
        if (p.db.isTsql()) {
            for (const QString& word : c.tsqlSays)
                EXPECT_TRUE(said.last().contains(word, Qt::CaseInsensitive)) << word.toStdString() << ": " << joined(said);
        }
        EXPECT_EQ(p.currentRow(), c.row);
        EXPECT_TRUE(p.inEdit(c.row));
        if (*c.typed) {
            EXPECT_EQ(p.shown(c.row, c.column), QString::fromUtf8(c.typed));
        }
        EXPECT_EQ(orders(p), kOriginalOrders);
    }
}

// ---------------------------------------------------------------------------------------------
// Rows changed, duplicated or deleted by someone else

TEST(Concurrency, TheSameRowChangedElsewhereIsRefusedAndEitherSideCanWin)
{
    Program p;
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));

    // Another user changes the item of row 1 after it was read.
    p.db.exec("UPDATE Orders SET item = 'pencil' WHERE id = 1;");
    p.typeAt(0, 1, QStringLiteral("fountain pen"));
    p.t.prompter.answers = {MessageAnswer::No}; // keep my changes
    p.go(1, 1);
    QStringList said = p.said();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(QStringLiteral("changed or deleted by someone else"))) << joined(said);
    EXPECT_TRUE(p.inEdit(0));
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("fountain pen"));
    EXPECT_EQ(p.db.value("SELECT item FROM Orders WHERE id = 1;"), QStringLiteral("pencil"));

    // Reloading shows the other user's value; typing again then writes over it knowingly.
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.go(1, 1);
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("pencil"));
    EXPECT_FALSE(p.inEdit(0));
    p.typeAt(0, 1, QStringLiteral("fountain pen"));
    p.go(1, 1);
    EXPECT_TRUE(p.said().size() == 1); // the reload question only
    EXPECT_EQ(p.db.value("SELECT item FROM Orders WHERE id = 1;"), QStringLiteral("fountain pen"));
}

TEST(Concurrency, ChangesToOtherColumnsOfTheRowAreNotLost)
{
    Program p;
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    p.db.exec("UPDATE Orders SET qty = 40 WHERE id = 2;"); // someone else, another column
    p.typeAt(1, 1, QStringLiteral("blue ink"));
    p.go(2, 1);
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(orders(p)[1], (QStringList{"2", "blue ink", "40"})) << "both changes kept";
}

TEST(Concurrency, DuplicateRowsWithoutAKeyAreNeverChangedTogether)
{
    Program p;
    p.db.exec("CREATE TABLE Log (day NVARCHAR(10), msg NVARCHAR(20));"
              "INSERT INTO Log VALUES ('mon', 'start'), ('mon', 'start'), ('tue', 'stop');");
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Log")));
    p.typeAt(0, 1, QStringLiteral("begin"));
    p.go(2, 1);
    QStringList said = p.said();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(QStringLiteral("duplicate rows and no key"))) << joined(said);
    EXPECT_TRUE(p.inEdit(0));

    p.key(Qt::Key_Escape);
    p.grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.key(Qt::Key_Delete);
    said = p.said();
    EXPECT_TRUE(mentions(said, QStringLiteral("duplicate rows and no key"))) << joined(said);
    EXPECT_EQ(p.db.rows("SELECT day, msg FROM Log ORDER BY day, msg;"),
              (Rows{{"mon", "start"}, {"mon", "start"}, {"tue", "stop"}}));

    // The row that is unique is edited as usual.
    p.typeAt(2, 1, QStringLiteral("halt"));
    p.go(0, 1);
    EXPECT_EQ(p.db.value("SELECT msg FROM Log WHERE day = 'tue';"), QStringLiteral("halt"));
}

TEST(Concurrency, ARowDeletedUnderneath)
{
    Program p;
    p.db.exec(ordersTable(p.db));
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    p.db.exec("DELETE FROM Orders WHERE id = 2;");

    // An edit of it is refused and offered a reload, which takes the row out of the grid.
    p.typeAt(1, 1, QStringLiteral("blue ink"));
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.go(2, 1);
    const QStringList said = p.said();
    EXPECT_TRUE(mentions(said, QStringLiteral("changed or deleted by someone else"))) << joined(said);
    EXPECT_TRUE(mentions(said, QStringLiteral("deleted by someone else; it has been removed from the grid"))) << joined(said);
    EXPECT_EQ(p.grid().approximateRowCount(), 2);
    EXPECT_EQ(orders(p), (Rows{{"1", "pen", "1"}, {"3", "pad", "3"}})) << "nothing came back";

    // A delete of a row that is gone already says so and changes nothing.
    p.db.exec("DELETE FROM Orders WHERE id = 3;");
    p.grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.key(Qt::Key_Delete);
    EXPECT_TRUE(mentions(p.said(), QStringLiteral("The row was not deleted")));
    EXPECT_EQ(orders(p), (Rows{{"1", "pen", "1"}}));
}

} // namespace
} // namespace tabulon::faults
