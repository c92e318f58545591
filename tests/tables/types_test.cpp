// Every column type a table may hold, end to end: the text a person types, the value the
// server stores (read back through the fixture's own connection), the text the grid shows and
// the text the tab-delimited export writes. On SQLite each column is declared with the same
// type name (the "(max)" types without a size), which SQLite keeps as written and stores by its
// nearest affinity. And a column the
// server cannot compare in a WHERE clause never lets a write reach the wrong row.

#include "export/GridWriters.h"
#include "support/Fakes.h"
#include "support/TestDatabase.h"
#include "tables/RowSet.h"
#include "tables/RowSetModel.h"
#include "tables/ValueFormat.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace tabulon {
namespace {

using Rows = std::vector<QStringList>;
using Status = RowWriteResult::Status;

// One column type. `stored` is the fixture's text of the value on the server (binary as its
// bytes); `shown` is the grid's text, which the export writes too. Where the engines store or
// show a value differently, the T-SQL form is given apart.
struct TypeCase {
    const char* column;
    const char* type; // the declared type, the same text on both engines
    QString typed;
    QString stored;
    QString shown;
    std::optional<QString> storedTsql = std::nullopt;
    std::optional<QString> shownTsql = std::nullopt;
    const char* sqliteType = nullptr; // where SQLite cannot read the declared type as written
    // The bundled T-SQL engine (Babelfish) will not turn text into a datetimeoffset, and the
    // driver cannot send that type itself: there the write is refused in the server's words
    // and nothing is stored. SQL Server converts the text.
    bool refusedByBabelfish = false;
};

const QString kLongText = QString(5000, QLatin1Char('x')) + QStringLiteral("\u00E9\U0001F600 end");
const QByteArray kLongBytes = QByteArray(3000, '\x5A') + QByteArray("\x00\xFF", 2);

QString hexOf(const QByteArray& bytes) { return QStringLiteral("0x") + QString::fromLatin1(bytes.toHex().toUpper()); }

std::vector<TypeCase> typeCases()
{
    return {
        {"ti", "tinyint", "255", "255", "255"},
        {"si", "smallint", "-32768", "-32768", "-32768"},
        {"i", "int", "+2147483647", "2147483647", "2147483647"},
        {"bi", "bigint", "-9223372036854775808", "-9223372036854775808", "-9223372036854775808"},
        {"de", "decimal(10,2)", "1234.5", "1234.5", "1234.5", "1234.50", "1234.50"},
        {"nu", "numeric(5,0)", "-42", "-42", "-42"},
        {"mo", "money", "12.3456", "12.3456", "12.3456"},
        {"sm", "smallmoney", "-1.5", "-1.5", "-1.5", "-1.5000", "-1.5000"},
        {"fl", "float", "0.1", "0.1", "0.1"},
        {"re", "real", "0.25", "0.25", "0.25"},
        {"bt", "bit", "true", "1", "1"},
        {"da", "date", "2024-2-29", "2024-02-29", "2024-02-29"},
        {"tm", "time", "14:30", "14:30:00", "14:30:00", "14:30:00.0000000", "14:30:00.0000000"},
        {"dt", "datetime", "2024-01-02 03:04:05.123", "2024-01-02 03:04:05.123", "2024-01-02 03:04:05.123"},
        {"d2", "datetime2", "2024-01-02T03:04:05.123456", "2024-01-02 03:04:05.123456", "2024-01-02 03:04:05.123456",
         "2024-01-02 03:04:05.1234560", "2024-01-02 03:04:05.1234560"},
        {"dto", "datetimeoffset", "2024-01-02 03:04:05 +02:00", "2024-01-02 03:04:05 +02:00",
         "2024-01-02 03:04:05 +02:00", "2024-01-02 03:04:05.0000000 +02:00", "2024-01-02 03:04:05.0000000 +02:00",
         nullptr, true},
        {"gu", "uniqueidentifier", "6f9619ff-8b86-d011-b42d-00c04fc964ff", "6F9619FF-8B86-D011-B42D-00C04FC964FF",
         "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        {"ch", "char(5)", "ab", "ab", "ab", "ab   ", "ab   "},
        {"vc", "varchar(10)", "plain", "plain", "plain"},
        {"nc", "nchar(3)", QStringLiteral("\u00E9"), QStringLiteral("\u00E9"), QStringLiteral("\u00E9"),
         QStringLiteral("\u00E9  "), QStringLiteral("\u00E9  ")},
        {"nv", "nvarchar(20)", QStringLiteral("\u039A\u03B1\u03BB\u03B7 \U0001F600"),
         QStringLiteral("\u039A\u03B1\u03BB\u03B7 \U0001F600"), QStringLiteral("\u039A\u03B1\u03BB\u03B7 \U0001F600")},
        {"vm", "varchar(max)", QString(9000, QLatin1Char('v')), QString(9000, QLatin1Char('v')),
         QString(9000, QLatin1Char('v')), std::nullopt, std::nullopt, "varchar"},
        {"nm", "nvarchar(max)", kLongText, kLongText, kLongText, std::nullopt, std::nullopt, "nvarchar"},
        {"vb", "varbinary(8)", "0x00ff", QString::fromLatin1("\x00\xFF", 2), "0x00FF"},
        {"vbm", "varbinary(max)", hexOf(kLongBytes), QString::fromLatin1(kLongBytes), hexOf(kLongBytes), std::nullopt,
         std::nullopt, "varbinary"},
        {"xm", "xml", "<a>1</a>", "<a>1</a>", "<a>1</a>"},
    };
}

class Types : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string sql = "CREATE TABLE [Types] ([id] int NOT NULL PRIMARY KEY";
        for (const TypeCase& c : typeCases())
            sql += std::string(", [") + c.column + "] " + (db.isSqlite() && c.sqliteType ? c.sqliteType : c.type)
                + " NULL";
        sql += ");";
        db.exec(sql);
        model.setRowSet(RowSet::open(db.connect(), QStringLiteral("Types")));
        ASSERT_TRUE(model.hasTable());
    }
    RowSet& rows() { return *model.rowSet(); }
    bool babelfish()
    {
        return db.isTsql() && db.value("SELECT @@VERSION;").contains(QLatin1String("Babelfish"));
    }
    // The cases this engine stores.
    std::vector<TypeCase> storedCases()
    {
        const bool refusing = babelfish();
        std::vector<TypeCase> cases;
        for (const TypeCase& c : typeCases())
            if (!(refusing && c.refusedByBabelfish))
                cases.push_back(c);
        return cases;
    }
    int col(const char* name)
    {
        for (int c = 0; c < rows().columnCount(); ++c)
            if (rows().columnName(c) == QLatin1String(name))
                return c;
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
    // Text typed into a cell of the new-record row, as the grid's cell editor hands it over.
    void typeNew(const char* column, const QString& text)
    {
        const QModelIndex cell = model.index(model.newRecordRow(), col(column));
        EXPECT_TRUE(model.setData(cell, text)) << column;
        EXPECT_EQ(rows().refusedText(model.newRecordRow(), col(column)), nullptr)
            << column << " refused \"" << text.toStdString() << "\": "
            << rows().refusedProblem(model.newRecordRow(), col(column))->toStdString();
    }
    void insertTyped(int id, const std::function<void()>& fill)
    {
        typeNew("id", QString::number(id));
        fill();
        const RowWriteResult r = model.writeRow(model.newRecordRow());
        EXPECT_EQ(r.status, Status::Written) << describeRefusal(rows(), r).toStdString();
    }
    // The export's lines, each split into its fields (every field is followed by a TAB).
    std::vector<QStringList> exported()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("types.txt"));
        EXPECT_EQ(SaveDataGridToFile(t.ctx, model.gridSource(), file), ExportResult::Written);
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QString all = QString::fromUtf8(f.readAll());
        std::vector<QStringList> lines;
        for (const QString& line : all.split(QStringLiteral("\r\n"))) {
            if (line.isEmpty())
                continue;
            QStringList fields = line.split(QLatin1Char('\t'));
            fields.removeLast(); // after the last TAB
            lines.push_back(fields);
        }
        return lines;
    }
    QString storedOnServer(const char* column, int id)
    {
        return db.value(std::string("SELECT [") + column + "] FROM [Types] WHERE [id] = " + std::to_string(id) + ";");
    }

    test::TestDatabase db;
    test::TestContext t;
    RowSetModel model;
};

TEST_F(Types, EachTypeTypedStoredShownAndExported)
{
    // One row per type, so that each case speaks for itself: row i holds case i alone.
    const std::vector<TypeCase> cases = typeCases();
    std::vector<int> rowOf;
    const bool refusing = babelfish();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(std::string(cases[i].column) + " " + cases[i].type);
        const qsizetype before = model.dataRowCount();
        if (refusing && cases[i].refusedByBabelfish) {
            typeNew("id", QString::number(i + 1));
            typeNew(cases[i].column, cases[i].typed);
            const RowWriteResult r = model.writeRow(model.newRecordRow());
            EXPECT_EQ(r.status, Status::ServerError);
            EXPECT_TRUE(describeRefusal(rows(), r).contains(QLatin1String(cases[i].type)))
                << describeRefusal(rows(), r).toStdString();
            EXPECT_TRUE(model.hasPendingEdit(model.newRecordRow())); // the typed row is kept
            EXPECT_EQ(model.dataRowCount(), before);
            EXPECT_EQ(db.value("SELECT COUNT(*) FROM [Types] WHERE [id] = " + std::to_string(i + 1) + ";"), "0");
            model.dropEdit(model.newRecordRow());
            rowOf.push_back(-1);
            continue;
        }
        insertTyped(int(i) + 1, [&] { typeNew(cases[i].column, cases[i].typed); });
        if (model.dataRowCount() == before) {
            model.dropEdit(model.newRecordRow());
            rowOf.push_back(-1);
        } else {
            rowOf.push_back(int(before));
        }
    }
    const std::vector<QStringList> file = exported();
    ASSERT_EQ(file.size(), std::size_t(model.dataRowCount()) + 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TypeCase& c = cases[i];
        SCOPED_TRACE(std::string(c.column) + " " + c.type + " typed \"" + c.typed.left(40).toStdString() + "\"");
        const int row = rowOf[i];
        if (row < 0)
            continue; // refused, or reported above
        const QString stored = db.isTsql() && c.storedTsql ? *c.storedTsql : c.stored;
        const QString shown = db.isTsql() && c.shownTsql ? *c.shownTsql : c.shown;
        EXPECT_EQ(storedOnServer(c.column, int(i) + 1), stored)
            << "stored " << storedOnServer(c.column, int(i) + 1).size() << " characters of " << stored.size();
        const int column = col(c.column);
        EXPECT_EQ(model.cellText(row, column), shown) // as read back after the insert
            << "shown " << model.cellText(row, column).size() << " characters of " << shown.size();
        const QString display = model.data(model.index(row, column)).toString();
        EXPECT_TRUE(display == shown || (display.endsWith(QChar(0x2026)) && shown.startsWith(display.chopped(1))))
            << display.left(80).toStdString();
        EXPECT_EQ(file[std::size_t(row) + 1].value(column), shown);
        EXPECT_EQ(file[0].value(column), QLatin1String(c.column));

        // The value as stored matches itself: typed again it is no change.
        EXPECT_TRUE(model.setData(model.index(row, column), shown));
        EXPECT_FALSE(model.hasPendingEdit(row));
    }
}

TEST_F(Types, ReopenedTableShowsWhatWasStored)
{
    const std::vector<TypeCase> cases = storedCases();
    insertTyped(1, [&] {
        for (const TypeCase& c : cases)
            typeNew(c.column, c.typed);
    });
    model.setRowSet(RowSet::open(db.connect(), QStringLiteral("Types")));
    ASSERT_EQ(model.dataRowCount(), 1);
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " " + c.type);
        EXPECT_EQ(model.cellText(0, col(c.column)), db.isTsql() && c.shownTsql ? *c.shownTsql : c.shown);
    }
    // A second write of the row finds it by its key whatever the other values are.
    const QModelIndex cell = model.index(0, col("vc"));
    EXPECT_TRUE(model.setData(cell, QStringLiteral("again")));
    const RowWriteResult r = model.writeRow(0);
    EXPECT_EQ(r.status, Status::Written) << describeRefusal(rows(), r).toStdString();
    EXPECT_EQ(storedOnServer("vc", 1), "again");
}

TEST_F(Types, NullAndEmptyStayApart)
{
    const std::vector<TypeCase> cases = storedCases();
    for (int id : {1, 2})
        insertTyped(id, [&] {
            for (const TypeCase& c : cases)
                typeNew(c.column, c.typed);
        });
    // Row 1: every cell emptied by typing over it. Row 2: every cell set to NULL (Ctrl+0).
    for (const TypeCase& c : cases) {
        EXPECT_TRUE(model.setData(model.index(0, col(c.column)), QString())) << c.column;
        EXPECT_TRUE(model.setValue(model.index(1, col(c.column)), odbc::Value::null())) << c.column;
    }
    for (int row : {0, 1}) {
        const RowWriteResult r = model.writeRow(row);
        ASSERT_EQ(r.status, Status::Written) << describeRefusal(rows(), r).toStdString();
    }
    const std::vector<QStringList> file = exported();
    ASSERT_EQ(file.size(), 3u);
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " " + c.type);
        const int column = col(c.column);
        const bool textual = isTextual(rows().column(column));
        // An emptied text cell is the empty string (padded to its width in a fixed-width
        // column); an emptied cell of any other type is NULL.
        QString empty;
        if (textual)
            empty = db.isTsql() && QByteArray(c.type).startsWith("char(") ? QStringLiteral("     ")
                : db.isTsql() && QByteArray(c.type).startsWith("nchar(") ? QStringLiteral("   ")
                                                                          : QStringLiteral("");
        const QString stored1 = storedOnServer(c.column, 1);
        EXPECT_EQ(stored1.isNull(), !textual) << stored1.toStdString();
        if (textual)
            EXPECT_EQ(stored1, empty);
        EXPECT_TRUE(storedOnServer(c.column, 2).isNull());
        // The grid shows NULL as the word, the empty string as nothing; the export writes both
        // as the empty text.
        EXPECT_EQ(model.data(model.index(0, column)).toString(), textual ? empty : QStringLiteral("NULL"));
        EXPECT_EQ(model.data(model.index(1, column)).toString(), "NULL");
        EXPECT_EQ(file[1].value(column), textual ? empty : QString(""));
        EXPECT_EQ(file[2].value(column), "");
    }
}

// Columns a WHERE clause cannot compare, in a table without a key: two rows that differ only
// there cannot be told apart, so a write to one of them is refused and neither changes.
struct IncomparableCase {
    const char* type;
    const char* one;
    const char* other;
    const char* oneSqlite = nullptr; // where SQLite writes the literal otherwise
    const char* otherSqlite = nullptr;
};

class Incomparable : public ::testing::TestWithParam<IncomparableCase> {
protected:
    test::TestDatabase db;
};

TEST_P(Incomparable, AWriteNeverTouchesTheWrongRow)
{
    const IncomparableCase& c = GetParam();
    const std::string one = db.isSqlite() && c.oneSqlite ? c.oneSqlite : c.one;
    const std::string other = db.isSqlite() && c.otherSqlite ? c.otherSqlite : c.other;
    db.exec(std::string("CREATE TABLE [Loose] ([n] int NULL, [doc] ") + c.type + " NULL);");
    db.exec("INSERT INTO [Loose] ([n], [doc]) VALUES (1, " + one + ");");
    db.exec("INSERT INTO [Loose] ([n], [doc]) VALUES (1, " + other + ");");
    const Rows before = db.rows("SELECT [n], [doc] FROM [Loose] ORDER BY [n];");
    auto rows = RowSet::open(db.connect(), QStringLiteral("Loose"));
    ASSERT_TRUE(rows->keyColumns().empty());
    EXPECT_FALSE(isComparable(rows->column(1))) << rows->column(1).typeName;

    rows->setCell(0, 0, odbc::Value::fromInteger(2));
    const RowWriteResult update = rows->writeRow(0);
    EXPECT_EQ(update.status, Status::ManyRowsMatched) << describeRefusal(*rows, update).toStdString();
    EXPECT_TRUE(rows->hasPendingEdit(0));
    EXPECT_EQ(rows->deleteRow(1).status, Status::ManyRowsMatched);
    EXPECT_EQ(db.rows("SELECT [n], [doc] FROM [Loose] ORDER BY [n];"), before);

    // A row that differs in a comparable column too is found, and only it changes.
    db.exec("INSERT INTO [Loose] ([n], [doc]) VALUES (3, " + one + ");");
    auto again = RowSet::open(db.connect(), QStringLiteral("Loose"));
    qsizetype three = -1;
    for (qsizetype r = 0; r < again->rowCount(); ++r)
        if (again->stored(r, 0).integer == 3)
            three = r;
    ASSERT_GE(three, 0);
    again->setCell(three, 0, odbc::Value::fromInteger(4));
    const RowWriteResult single = again->writeRow(three);
    EXPECT_EQ(single.status, Status::Written) << describeRefusal(*again, single).toStdString();
    EXPECT_EQ(db.column("SELECT [n] FROM [Loose] ORDER BY [n];"), QStringList({"1", "1", "4"}));
}

INSTANTIATE_TEST_SUITE_P(
    Types, Incomparable,
    ::testing::Values(IncomparableCase{"xml", "'<a>1</a>'", "'<a>2</a>'"}, IncomparableCase{"text", "'one'", "'two'"},
                      IncomparableCase{"ntext", "N'one'", "N'two'", "'one'", "'two'"}, IncomparableCase{"image", "0x01", "0x02", "X'01'", "X'02'"}),
    [](const ::testing::TestParamInfo<IncomparableCase>& info) { return std::string(info.param.type); });

} // namespace
} // namespace tabulon
