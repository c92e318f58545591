// Odd data in the table and in its names: a megabyte of text in one cell, binary cells, empty
// strings beside NULLs, Greek, Arabic and emoji, and names holding "]", "'", '"', ";" or blanks
// at either end. What the person sees, edits and exports is what the table holds, and nothing
// they did not touch changes.

#include "FaultSupport.h"
#include "StatementLog.h"

#include "connection/SqlNames.h"
#include "export/GridSource.h"

#include <QFile>
#include <QLineEdit>
#include <QSet>

namespace tabulon::faults {
namespace {

// Opens the cell editor on the current cell and confirms it without typing: F2, Enter.
void confirmUnchanged(Program& p)
{
    p.grid().setFocus();
    QTest::keyClick(&p.grid(), Qt::Key_F2);
    auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(box, nullptr) << "no cell editor opened";
    QTest::keyClick(box, Qt::Key_Return);
    settle();
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The engine's way of joining two texts, and of writing a text that holds more than ASCII.
std::string joins(const test::TestDatabase& db)
{
    return db.isSqlite() ? " || " : " + ";
}
std::string unicode(const test::TestDatabase& db, const std::string& literal)
{
    return (db.isTsql() ? "N'" : "'") + literal + "'";
}

TEST(OddData, AMegabyteOfTextSurvivesViewingEditingAndExport)
{
    Program p;
    if (p.db.isSqlite())
        p.db.exec("CREATE TABLE Notes (id INTEGER PRIMARY KEY, body NVARCHAR(2000000), tag NVARCHAR(10));"
                  "INSERT INTO Notes (body, tag) VALUES (printf('%.*c', 1048576, 'a') || 'END', 'big');");
    else
        p.db.exec("CREATE TABLE Notes (" + p.db.autoKey("id") + ", body NVARCHAR(MAX), tag NVARCHAR(10));"
                  "INSERT INTO Notes (body, tag) VALUES (REPLICATE(CAST('a' AS NVARCHAR(MAX)), 1048576) + 'END', 'big');");
    const std::string length = p.db.isSqlite() ? "length(body)" : "LEN(body)";
    const auto last = [&](int n) {
        return p.db.isSqlite() ? "substr(body, -" + std::to_string(n) + ")" : "RIGHT(body, " + std::to_string(n) + ")";
    };
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Notes")));
    EXPECT_LT(p.shown(0, 1).size(), 5000) << "the grid shows the beginning of a long value";
    EXPECT_EQ(p.grid().gridSource().cellText(0, 1).size(), 1048576 + 3);

    // Another column of that row is written without disturbing the long value.
    p.typeAt(0, 2, QStringLiteral("huge"));
    p.go(1, 2);
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(p.db.rows("SELECT " + length + ", " + last(3) + ", tag FROM Notes;"),
              (Rows{{"1048579", "END", "huge"}}));

    // Opening the long cell's editor and confirming it changes nothing.
    p.go(0, 1);
    confirmUnchanged(p);
    p.go(1, 1);
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(p.db.value("SELECT " + length + " FROM Notes;"), QStringLiteral("1048579"));

    // Appending to it in the editor keeps the whole value.
    p.go(0, 1);
    p.grid().setFocus();
    QTest::keyClick(&p.grid(), Qt::Key_F2);
    auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(box, nullptr);
    box->end(false);
    box->insert(QStringLiteral("!"));
    QTest::keyClick(box, Qt::Key_Return);
    settle();
    p.go(1, 1);
    const QStringList saidAfterAppend = p.said();
    EXPECT_TRUE(saidAfterAppend.isEmpty()) << joined(saidAfterAppend);
    EXPECT_EQ(p.db.rows("SELECT " + length + ", " + last(4) + " FROM Notes;"), (Rows{{"1048580", "END!"}}));

    // The export carries it whole.
    const QString file = p.dir.filePath(QStringLiteral("notes.csv"));
    p.t.files.answers = {file};
    p.editor().mnuCSV->trigger();
    const QByteArray csv = fileBytes(file);
    EXPECT_TRUE(csv.contains(QByteArray(1048576, 'a') + "END!,huge\r\n"));
}

TEST(OddData, LineBreaksTabsAndControlCharactersInACellAreKeptWhenItsEditorIsConfirmed)
{
    Program p;
    const std::string j = joins(p.db);
    p.db.exec("CREATE TABLE Notes (" + p.db.autoKey("id") + ", body NVARCHAR(200));"
              "INSERT INTO Notes (body) VALUES ('two'" + j + "char(10)" + j + "'lines'), ('a'" + j + "char(9)" + j + "'tab'),"
              "('cr'" + j + "char(13)" + j + "char(10)" + j + "'lf'), ('bell'" + j + "char(7)), ('  blanks  ');");
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Notes")));
    const Rows before = p.db.rows("SELECT id, body FROM Notes ORDER BY id;");
    ASSERT_EQ(before, (Rows{{"1", "two\nlines"}, {"2", "a\ttab"}, {"3", "cr\r\nlf"}, {"4", "bell\a"}, {"5", "  blanks  "}}));
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        p.go(row, 1);
        confirmUnchanged(p);
        p.go(row + 1, 1);
        EXPECT_TRUE(p.said().isEmpty());
    }
    EXPECT_EQ(p.db.rows("SELECT id, body FROM Notes ORDER BY id;"), before);
}

TEST(OddData, BinaryCellsEmptyStringsAndNullsStayApart)
{
    Program p;
    const bool lite = p.db.isSqlite();
    p.db.exec("CREATE TABLE Bits (" + p.db.autoKey("id") + ", data VARBINARY(16), label NVARCHAR(10), n INT);"
              "INSERT INTO Bits (data, label, n) VALUES (" + std::string(lite ? "x'00FF10'" : "0x00FF10") +
              ", '', NULL), (NULL, NULL, 0), (" + std::string(lite ? "x''" : "0x") + ", 'x', 1);");
    // The bytes (in hex, below), NULL or not, and the label quoted or NULL.
    const std::string hexData = "data";
    const auto inHex = [](Rows rows, int column) {
        for (QStringList& row : rows)
            row[column] = QString::fromLatin1(row[column].toLatin1().toHex().toUpper());
        return rows;
    };
    const std::string kindOfData = "CASE WHEN data IS NULL THEN 'null' ELSE 'blob' END";
    const std::string quotedLabel =
        "CASE WHEN label IS NULL THEN 'NULL' ELSE ''''" + joins(p.db) + "label" + joins(p.db) + "'''' END";
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Bits")));
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("0x00FF10"));
    EXPECT_EQ(p.shown(1, 1), QStringLiteral("NULL"));
    EXPECT_EQ(p.shown(0, 2), QString());
    EXPECT_EQ(p.shown(1, 2), QStringLiteral("NULL"));

    // Editing other columns leaves the bytes, the empty string and the NULLs as they were.
    p.typeAt(0, 3, QStringLiteral("5"));
    p.typeAt(1, 3, QStringLiteral("6"));
    p.typeAt(2, 3, QStringLiteral("7"));
    p.go(0, 3);
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(inHex(p.db.rows("SELECT id, " + hexData + ", " + kindOfData + ", " + quotedLabel + ", n FROM Bits ORDER BY id;"), 1),
              (Rows{{"1", "00FF10", "blob", "''", "5"}, {"2", "", "null", "NULL", "6"}, {"3", "", "blob", "'x'", "7"}}));

    // Bytes typed as 0x-hex are stored as bytes; a text emptied is the empty text, not NULL;
    // Ctrl+0 makes NULL. (Confirming an empty editor on a NULL cell leaves it NULL.)
    p.typeAt(1, 1, QStringLiteral("0xCAFE"));
    p.typeAt(1, 2, QString());
    p.go(0, 1);
    EXPECT_EQ(inHex(p.db.rows("SELECT " + hexData + ", " + quotedLabel + " FROM Bits WHERE id = 2;"), 0), (Rows{{"CAFE", "NULL"}}));
    p.typeAt(2, 2, QString());
    p.go(0, 2);
    p.key(Qt::Key_0, Qt::ControlModifier);
    p.go(1, 2);
    EXPECT_EQ(p.db.rows("SELECT id, " + quotedLabel + " FROM Bits ORDER BY id;"),
              (Rows{{"1", "NULL"}, {"2", "NULL"}, {"3", "''"}}));
    p.typeAt(2, 1, QStringLiteral("0xZZ"));
    p.go(0, 1);
    EXPECT_FALSE(p.said().isEmpty());
    EXPECT_TRUE(p.inEdit(2));
    EXPECT_EQ(p.db.value("SELECT " + kindOfData + " FROM Bits WHERE id = 3;"), QStringLiteral("blob"));
}

TEST(OddData, GreekArabicAndEmojiInTableNamesFieldNamesAndValues)
{
    Program p;
    // The T-SQL test engine's catalogue gives names in its 8-bit code page (WIN1252), so the
    // chooser lists a Greek name as question marks there and it cannot be chosen (SQL Server
    // lists it whole); and it cannot send a column name beyond the 16-bit characters (an emoji)
    // in a result. There the fields and values are tried on a table of a plain name, with a
    // 16-bit symbol for the emoji field.
    const bool catalogueIs8Bit = isTsqlTestEngine(p.db);
    const QString name = catalogueIs8Bit ? QStringLiteral("Kunden") : QStringLiteral("Πελάτες 😀");
    const QString party = catalogueIs8Bit ? QStringLiteral("★") : QStringLiteral("🎉");
    const std::string t = "[" + name.toStdString() + "]";
    const std::string f = "[" + party.toStdString() + "]";
    p.db.exec("CREATE TABLE " + t + " (" + p.db.autoKey("κωδικός") + ", [الاسم] NVARCHAR(40), " + f + " NVARCHAR(10));"
              "INSERT INTO " + t + " ([الاسم], " + f + ") VALUES (" + unicode(p.db, "Άννα") + ", " + unicode(p.db, "ναι") +
              "), (" + unicode(p.db, "مرحبا") + ", " + unicode(p.db, "👍🏽") + ");");
    if (catalogueIs8Bit)
        p.db.exec("CREATE TABLE [Πελάτες 😀] (v INT);");
    p.start();
    if (catalogueIs8Bit) {
        EXPECT_TRUE(p.isListed(QStringLiteral("??????? ?"))) << p.listed().join(",").toStdString();
        EXPECT_FALSE(p.isListed(QStringLiteral("Πελάτες 😀")));
    }
    ASSERT_TRUE(p.isListed(name)) << p.listed().join(",").toStdString();
    ASSERT_TRUE(p.open(name)) << joined(p.said());
    EXPECT_EQ(p.grid().model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("الاسم"));
    EXPECT_EQ(p.shown(1, 2), QStringLiteral("👍🏽"));

    p.typeAt(0, 1, QStringLiteral("Ἀθηνᾶ 🦉"));
    p.typeAt(2, 1, QStringLiteral("سلام"));
    p.typeAt(2, 2, QStringLiteral("🚀"));
    p.go(0, 1);
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(p.db.rows("SELECT [κωδικός], [الاسم], " + f + " FROM " + t + " ORDER BY 1;"),
              (Rows{{"1", "Ἀθηνᾶ 🦉", "ναι"}, {"2", "مرحبا", "👍🏽"}, {"3", "سلام", "🚀"}}));

    const QString file = p.dir.filePath(QStringLiteral("out.xml"));
    p.t.files.answers = {file};
    p.editor().mnuXML->trigger();
    const QString xml = QString::fromUtf8(fileBytes(file));
    EXPECT_TRUE(xml.contains(QStringLiteral("<الاسم>Ἀθηνᾶ 🦉</الاسم>"))) << xml.toStdString();
}

// Names that quoting must carry whole: each table has a field of the same odd name, and a
// bystander table that must not change.
std::string sqliteQuoted(const QString& name) // double quotes (both engines read them), for setting up only
{
    std::string q = name.toStdString();
    for (std::size_t at = 0; (at = q.find('"', at)) != std::string::npos; at += 2)
        q.insert(at, 1, '"');
    return '"' + q + '"';
}

void makeOddTable(Program& p, const QString& name)
{
    const std::string q = sqliteQuoted(name);
    p.db.exec("CREATE TABLE Bystander (v INT); INSERT INTO Bystander VALUES (42);");
    p.db.exec("CREATE TABLE " + q + " (" + p.db.autoKey("id") + ", " + q + " NVARCHAR(20));");
    p.db.exec("INSERT INTO " + q + " (" + q + ") VALUES ('one'), ('two');");
}

void expectNothingElseTouched(Program& p)
{
    EXPECT_EQ(p.db.rows("SELECT v FROM Bystander;"), (Rows{{"42"}}));
    EXPECT_EQ(p.db.columnNames(QStringLiteral("Bystander")), QStringList{QStringLiteral("v")});
    EXPECT_EQ(p.db.tableNames().size(), 2) << p.db.tableNames().join(QLatin1Char(',')).toStdString();
}

TEST(OddData, NamesWithQuotesAndBlanksOpenAndEdit)
{
    const QStringList names = {QStringLiteral("say \"hi\""), QStringLiteral(" leading"), QStringLiteral("trailing "),
                               QStringLiteral("  both  "), QStringLiteral("[bracketed"), QStringLiteral("-- not a comment")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        Program p;
        makeOddTable(p, name);
        const std::string q = sqliteQuoted(name);
        p.start();
        ASSERT_TRUE(p.open(name)) << joined(p.said());
        EXPECT_EQ(p.grid().model()->headerData(1, Qt::Horizontal).toString(), name);
        p.typeAt(0, 1, QStringLiteral("uno"));
        p.typeAt(2, 1, QStringLiteral("tres"));
        p.go(1, 1);
        p.grid().selectRow(1);
        p.t.prompter.answers = {MessageAnswer::Yes};
        p.key(Qt::Key_Delete);
        const QStringList said = p.said();
        EXPECT_EQ(said.size(), 1) << joined(said); // the delete question only
        EXPECT_EQ(p.db.column("SELECT " + q + " FROM " + q + " ORDER BY id;"), (QStringList{"uno", "tres"}));
        expectNothingElseTouched(p);
    }
}

// The SQLite ODBC driver looks for "?" and ";" in the statement text without knowing brackets:
// a "'" inside a bracketed name can hide parameter markers from it, and a ";" can make it see
// two statements. The statements are right for SQL Server (whose driver, FreeTDS, skips bracketed
// names when it looks for markers): there every one opens and is written; on SQLite some are
// refused. Either way the statement is sent whole, the row is written or stays in edit, and
// nothing else changes.
TEST(OddData, NamesWithAQuoteOrASemicolonAreSentWholeAndNothingElseChanges)
{
    const QStringList names = {QStringLiteral("it's"), QStringLiteral("O'Brien's"), QStringLiteral("a;b"),
                               QStringLiteral("x; DROP TABLE Bystander; --"),
                               QStringLiteral("'; DELETE FROM Bystander; --")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        Program p;
        makeOddTable(p, name);
        const std::string q = sqliteQuoted(name);
        p.start();
        StatementLog log;
        const std::string bracketed = bracketName(name).toStdString();
        // The table as the chooser lists it (the T-SQL test engine lower-cases it); the column
        // as it was made.
        const std::string table = bracketName(p.listedAs(name)).toStdString();
        const bool opened = p.open(name);
        const auto selects = log.starting("SELECT * FROM ");
        ASSERT_FALSE(selects.empty());
        EXPECT_EQ(selects.front().sql, "SELECT * FROM " + table + ";");
        if (p.db.isTsql()) {
            EXPECT_TRUE(opened) << joined(p.said());
        }
        if (!opened) {
            EXPECT_FALSE(p.t.prompter.errors().empty()) << "a table that does not open is reported";
        } else {
            p.typeAt(0, 1, QStringLiteral("uno"));
            p.go(1, 1);
            const auto updates = log.starting("UPDATE ");
            ASSERT_EQ(updates.size(), 1u);
            // On SQL Server the write carries, in the same batch, the query for its own row count.
            const std::string ownCount =
                p.db.isTsql() ? "\nSELECT @@ROWCOUNT AS [own_rows], SCOPE_IDENTITY() AS [own_identity];" : "";
            EXPECT_EQ(updates.front().sql, "UPDATE " + table + " SET " + bracketed + " = ? WHERE [id] = ? AND " +
                                               bracketed + " = ?;" + ownCount);
            const QStringList stored = p.db.column("SELECT " + q + " FROM " + q + " ORDER BY id;");
            // Refused by the driver: kept in the row, the table as it was. Else written.
            const QStringList expected = p.inEdit(0) ? QStringList{"one", "two"} : QStringList{"uno", "two"};
            EXPECT_EQ(stored, expected);
            if (p.db.isTsql()) {
                EXPECT_FALSE(p.inEdit(0)) << joined(p.said());
            }
        }
        for (const SentStatement& s : log.statements())
            EXPECT_EQ(s.sql.find("uno"), std::string::npos) << "values travel as parameters: " << s.sql;
        expectNothingElseTouched(p);
    }
}

TEST(OddData, NamesHoldingAClosingBracketAreQuotedByTheTSqlRuleAndTouchNothingElse)
{
    // Neither SQLite nor the T-SQL test engine can read "]]" inside a bracketed name (SQL Server
    // can), so these tables cannot be opened on the test databases: the statements are checked
    // as text, and the database for what it did.
    const QStringList names = {QStringLiteral("a]b"), QStringLiteral("]"), QStringLiteral("x]; DROP TABLE Bystander; --"),
                               QStringLiteral("]]"), QStringLiteral("end]")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QString doubled = name;
        doubled.replace(QStringLiteral("]"), QStringLiteral("]]"));
        EXPECT_EQ(selectAllStatement(name), QStringLiteral("SELECT * FROM [") + doubled + QStringLiteral("];"));

        Program p;
        makeOddTable(p, name);
        p.start();
        ASSERT_TRUE(p.isListed(name));
        StatementLog log;
        EXPECT_FALSE(p.open(name)); // the engine's limit, reported
        EXPECT_FALSE(p.t.prompter.errors().empty());
        const auto selects = log.starting("SELECT * FROM ");
        ASSERT_FALSE(selects.empty());
        EXPECT_EQ(QString::fromStdString(selects.front().sql), selectAllStatement(p.listedAs(name)));
        expectNothingElseTouched(p);
    }
}

} // namespace
} // namespace tabulon::faults

namespace tabulon::faults {
namespace {

// The SQLite driver rewrites "{...}" in a statement as an ODBC escape sequence even inside a
// bracketed name (and cannot be told not to), so "SELECT * FROM [a{x}b];" reads the table "ab".
// The table opened must be the table chosen, or edits land in another table. FreeTDS keeps the
// name whole: on T-SQL the table opens and takes the edit.
TEST(OddData, ANameTheDriverRewritesIsNotOpenedAndNoOtherTableIsTouched)
{
    Program p;
    p.db.exec("CREATE TABLE ab (" + p.db.autoKey("id") + ", v NVARCHAR(10)); INSERT INTO ab (v) VALUES ('other');");
    p.db.exec("CREATE TABLE \"a{x}b\" (" + p.db.autoKey("id") + ", v NVARCHAR(10)); INSERT INTO \"a{x}b\" (v) VALUES ('mine');");
    p.start();
    ASSERT_TRUE(p.isListed(QStringLiteral("a{x}b")));
    const bool opened = p.open(QStringLiteral("a{x}b"));
    if (p.db.isTsql()) {
        ASSERT_TRUE(opened) << joined(p.said());
    }
    if (opened) { // a driver that keeps the name whole shows the right rows
        EXPECT_EQ(p.shown(0, 1), QStringLiteral("mine"));
        p.typeAt(0, 1, QStringLiteral("edited"));
        p.go(1, 1);
        EXPECT_TRUE(p.said().isEmpty());
        EXPECT_EQ(p.db.value("SELECT v FROM \"a{x}b\";"), QStringLiteral("edited"));
    } else {
        const auto errors = p.t.prompter.errors();
        ASSERT_FALSE(errors.empty());
        EXPECT_TRUE(errors[0].text.contains(QStringLiteral("read the table \"ab\""))) << errors[0].text.toStdString();
        EXPECT_FALSE(p.grid().hasTable());
    }
    EXPECT_EQ(p.db.value("SELECT v FROM ab;"), QStringLiteral("other"));
}

} // namespace
} // namespace tabulon::faults

#include "export/ExportText.h"

namespace tabulon::faults {
namespace {

// Two columns "a b" and "a_x0020_b" must not get the same element name in the XML export: the
// "_" of a caption's own "_x" is written "_x005F_".
TEST(OddData, EveryCaptionGetsAnElementNameOfItsOwn)
{
    const QStringList captions = {QStringLiteral("a b"), QStringLiteral("a_x0020_b"), QStringLiteral("_x0041_"),
                                  QStringLiteral("A"), QStringLiteral("x_x0000^")};
    QSet<QString> names;
    for (const QString& c : captions)
        names << QString::fromStdString(exporttext::xmlElementName(c));
    EXPECT_EQ(names.size(), captions.size());
    EXPECT_EQ(exporttext::xmlElementName(QStringLiteral("a_x0020_b")), "a_x005F_x0020_b");
}

} // namespace
} // namespace tabulon::faults

namespace tabulon::faults {
namespace {

// SQLite takes names of any length; SQL Server's names end at 128 characters. The T-SQL test
// engine keeps longer names than 63 bytes under a shortened name of its own, which is what
// its catalogue lists, so there the test stays within 63 bytes; and its catalogue carries
// only letters of its 8-bit code page.
TEST(OddData, AVeryLongTableNameOpensAndEdits)
{
    std::vector<int> lengths{200, 600, 3000};
    if (test::testEngine() == test::Engine::Tsql) {
        test::TestDatabase probe;
        lengths = isTsqlTestEngine(probe) ? std::vector<int>{32} : std::vector<int>{100, 128};
    }
    for (const int length : lengths) {
        SCOPED_TRACE(length);
        // Two bytes each in UTF-8: Greek, or on T-SQL a letter of the test engine's code page.
        const QChar letter = test::testEngine() == test::Engine::Sqlite ? QChar(0x03A9) : QChar(0x00E9);
        const QString name = QString(length - 1, letter) + QLatin1Char('x');
        Program p;
        p.db.exec("CREATE TABLE \"" + name.toStdString() + "\" (" + p.db.autoKey("id") + ", v NVARCHAR(10));"
                  "INSERT INTO \"" + name.toStdString() + "\" (v) VALUES ('a');");
        p.start();
        ASSERT_TRUE(p.open(name)) << joined(p.said());
        p.typeAt(0, 1, QStringLiteral("b"));
        p.go(1, 1);
        EXPECT_TRUE(p.said().isEmpty());
        EXPECT_EQ(p.db.value("SELECT v FROM \"" + name.toStdString() + "\";"), QStringLiteral("b"));
    }
}

} // namespace
} // namespace tabulon::faults
