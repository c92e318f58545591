// The ODBC layer against the test engine behind the driver name "SQL Server" (SQLite's driver,
// or FreeTDS and a T-SQL server), opened with the program's own connection string.

#include "connection/odbc/Odbc.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <random>

using odbc::Kind;
using odbc::Param;
using odbc::Value;
using tabulon::test::TestDatabase;

namespace {

// Every row of a query as owned values.
std::vector<std::vector<Value>> readAll(odbc::Connection& c, const std::string& sql,
                                        const std::vector<Param>& params = {})
{
    odbc::ResultSet rs = c.query(sql, params);
    std::vector<std::vector<Value>> rows;
    while (rs.fetchBlock()) {
        for (std::size_t r = 0; r < rs.blockRows(); ++r) {
            std::vector<Value> row;
            for (std::size_t col = 0; col < rs.columns().size(); ++col)
                row.push_back(Value::fromView(rs.cell(r, col)));
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

Param text(std::string s) { return Param{Value::fromText(std::move(s))}; }
Param integer(std::int64_t v) { return Param{Value::fromInteger(v)}; }

std::string hexOf(const std::string& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::string randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& ch : s)
        ch = char(gen() & 0xFF);
    return s;
}

class Odbc : public ::testing::Test {
protected:
    TestDatabase db;
    odbc::Connection c = odbc::Connection::open(db.connectionString());

    // The T-SQL engine bundled for the tests (Babelfish) rather than a SQL Server: it answers
    // SERVERPROPERTY('Babelfish') with 1, where SQL Server answers NULL.
    bool babelfish()
    {
        if (!db.isTsql())
            return false;
        const auto rows = readAll(c, "SELECT CAST(SERVERPROPERTY('Babelfish') AS int);");
        return !rows.empty() && rows[0][0].kind == Kind::Integer && rows[0][0].integer == 1;
    }
};

} // namespace

TEST_F(Odbc, ReachesSqliteThroughTheSqlServerName)
{
    if (!db.isSqlite())
        GTEST_SKIP() << "about SQLite's driver";
    EXPECT_EQ(c.dbmsName(), "SQLite");
}

TEST_F(Odbc, ReachesTheTsqlServerThroughTheSqlServerNameWithFreeTds)
{
    if (!db.isTsql())
        GTEST_SKIP() << "about FreeTDS and a T-SQL server";
    EXPECT_EQ(c.dbmsName(), "Microsoft SQL Server");
    // The fixture's database, spoken to in T-SQL...
    const auto rows = readAll(c, "SELECT DB_NAME(), CAST(@@SPID AS int);");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value::fromText(db.databaseName().toStdString()));
    EXPECT_EQ(rows[0][1].kind, Kind::Integer);
    // ...through FreeTDS, whose messages carry its name.
    try {
        c.execute("SELECT * FROM [no such table];");
        ADD_FAILURE() << "a missing table was accepted";
    } catch (const odbc::Error& e) {
        EXPECT_EQ(e.description().rfind("[FreeTDS][SQL Server]", 0), 0u) << e.description();
    }
}

TEST_F(Odbc, CatalogueGivesTypeAndNameOfTablesAndViewsInTheDriversOrder)
{
    // One statement at a time: T-SQL wants CREATE VIEW alone in its batch.
    for (const char* sql : {"CREATE TABLE [zeta] ([id] int NOT NULL);", "CREATE TABLE [Alpha] ([id] int NOT NULL);",
                            "CREATE VIEW [beta view] AS SELECT [id] FROM [zeta];",
                            "CREATE TABLE [mid] ([id] int NOT NULL);",
                            "CREATE VIEW [a view] AS SELECT [id] FROM [Alpha];"})
        db.exec(sql);
    if (db.isSqlite()) {
        // SQLite's driver lists them as they were made, tables and views mixed.
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"TABLE", "zeta"}, {"TABLE", "Alpha"}, {"VIEW", "beta view"}, {"TABLE", "mid"}, {"VIEW", "a view"}};
        EXPECT_EQ(c.tables(), expected);
        return;
    }
    // FreeTDS asks sp_tables, which lists the server's own system views among them. SQL
    // Server orders them by type, then owner, then name; Babelfish by name alone, and hands
    // the names back lower-cased.
    const bool bf = babelfish();
    std::vector<std::pair<std::string, std::string>> ours;
    for (const auto& [type, name] : c.tables()) {
        for (const char* made : {"zeta", "Alpha", "beta view", "mid", "a view"}) {
            if (QString::fromStdString(name).compare(QLatin1String(made), Qt::CaseInsensitive) == 0)
                ours.emplace_back(type, name);
        }
    }
    const std::vector<std::pair<std::string, std::string>> expected =
        bf ? std::vector<std::pair<std::string, std::string>>{{"VIEW", "a view"},
                                                              {"TABLE", "alpha"},
                                                              {"VIEW", "beta view"},
                                                              {"TABLE", "mid"},
                                                              {"TABLE", "zeta"}}
           : std::vector<std::pair<std::string, std::string>>{{"TABLE", "Alpha"},
                                                              {"TABLE", "mid"},
                                                              {"TABLE", "zeta"},
                                                              {"VIEW", "a view"},
                                                              {"VIEW", "beta view"}};
    EXPECT_EQ(ours, expected);
}

TEST_F(Odbc, RefusedStatementRaisesTheDriversText)
{
    db.exec("CREATE TABLE [t] ([id] int NOT NULL);");
    struct Case {
        const char* sql;
        const char* sqliteText;
        const char* sqlServerText;
        const char* babelfishText;
    };
    const bool bf = babelfish();
    for (const Case& k :
         {Case{"SELECT * FROM [missing];", "no such table: missing", "Invalid object name 'missing'.",
               "relation \"missing\" does not exist"},
          Case{"SELECT * FROM [Λείπει 😀];", "no such table: Λείπει 😀", "Invalid object name 'Λείπει 😀'.",
               "relation \"Λείπει 😀\" does not exist"},
          Case{"CREATE TABLE [t] ([x] int NULL);", "table [t] already exists",
               "There is already an object named 't' in the database.", "relation \"t\" already exists"},
          Case{"ALTER TABLE [t] ADD [id] int NULL;", "duplicate column name: id",
               "Column names in each table must be unique. Column name 'id' in table 't' is specified more than once.",
               "column \"id\" of relation \"t\" already exists"}}) {
        const char* driverText = db.isSqlite() ? k.sqliteText : bf ? k.babelfishText : k.sqlServerText;
        try {
            c.execute(k.sql);
            ADD_FAILURE() << k.sql << " was accepted";
        } catch (const odbc::Error& e) {
            EXPECT_NE(e.description().find(driverText), std::string::npos) << e.description();
            ASSERT_FALSE(e.records().empty());
            EXPECT_EQ(e.records().front().message, e.description()); // one record, as the driver gave it
            EXPECT_EQ(e.sqlState(), e.records().front().sqlState);
            EXPECT_EQ(e.sqlState().size(), 5u);
            EXPECT_STREQ(e.what(), e.description().c_str());
        }
    }
    // The same refusal through query().
    EXPECT_THROW(c.query("SELECT [nope] FROM [t];"), odbc::Error);
}

TEST_F(Odbc, RowsAffected)
{
    c.execute("CREATE TABLE [t] ([id] int NOT NULL, [v] nvarchar(10) NULL);");
    struct Case {
        const char* sql;
        long long affected;
    };
    for (const Case& k : {Case{"INSERT INTO [t] ([id], [v]) VALUES (1, 'a'), (2, 'b'), (3, 'b');", 3},
                          Case{"UPDATE [t] SET [v] = 'c' WHERE [v] = 'b';", 2},
                          Case{"UPDATE [t] SET [v] = 'x' WHERE [id] = 99;", 0},
                          Case{"DELETE FROM [t] WHERE [id] = 99;", 0},
                          Case{"DELETE FROM [t] WHERE [id] = 1;", 1}})
        EXPECT_EQ(c.execute(k.sql), k.affected) << k.sql;
    // With parameters, as rows are written back.
    EXPECT_EQ(c.execute("UPDATE [t] SET [v] = ? WHERE [id] = ?;", {text("y"), integer(2)}), 1);
    EXPECT_EQ(c.execute("UPDATE [t] SET [v] = ? WHERE [id] = ?;", {text("y"), integer(42)}), 0);
    EXPECT_EQ(db.column("SELECT v FROM t ORDER BY id;"), QStringList({"y", "c"}));
}

TEST_F(Odbc, GreekAndEmojiInTableNamesColumnNamesAndValues)
{
    // Babelfish cannot hand back a column name with a character beyond U+FFFF (its result
    // description miscounts it, and FreeTDS loses its place in the stream), and it returns
    // catalogue names in a single-byte code page ("?" for Greek): on it the column name keeps
    // to Greek, and the table is not looked for in the catalogue. SQLite and SQL Server take both.
    const bool bf = babelfish();
    const std::string table = "Πελάτες 😀";
    const std::string column = bf ? "Όνομα" : "Όνομα 🎉";
    const std::string value = "Καλημέρα κόσμε 😀 ß ñ 中文";
    c.execute("CREATE TABLE [" + table + "] ([id] int NOT NULL PRIMARY KEY, [" + column + "] nvarchar(50) NULL);");
    EXPECT_EQ(c.execute("INSERT INTO [" + table + "] ([id], [" + column + "]) VALUES (?, ?);",
                        {integer(1), text(value)}),
              1);
    db.exec("INSERT INTO [" + table + "] VALUES (2, " + (db.isSqlite() ? "'" : "N'") + value + " 2');");

    // What the engine holds.
    EXPECT_EQ(db.column("SELECT [" + column + "] FROM [" + table + "] ORDER BY id;"),
              QStringList({QString::fromStdString(value), QString::fromStdString(value + " 2")}));
    // And what the layer reads back.
    odbc::ResultSet rs = c.query("SELECT * FROM [" + table + "];");
    ASSERT_EQ(rs.columns().size(), 2u);
    EXPECT_EQ(rs.columns()[1].name, column);
    ASSERT_TRUE(rs.fetchBlock());
    ASSERT_EQ(rs.blockRows(), 2u);
    EXPECT_EQ(rs.cell(0, 1).bytes, value);
    EXPECT_EQ(rs.cell(1, 1).bytes, value + " 2");
    // A parameter in a WHERE finds it.
    EXPECT_EQ(readAll(c, "SELECT [id] FROM [" + table + "] WHERE [" + column + "] = ?;", {text(value)}).size(), 1u);

    if (!bf) {
        bool listed = false;
        for (const auto& [type, name] : c.tables())
            listed = listed || (type == "TABLE" && name == table);
        EXPECT_TRUE(listed);
    }
    EXPECT_EQ(c.keyColumns(table), std::vector<std::string>({"id"}));
}

TEST_F(Odbc, MegabyteTextAndBinaryValuesRoundTrip)
{
    std::string big;
    for (int i = 0; big.size() < (1u << 20); ++i)
        big += "Γραμμή " + std::to_string(i) + " 😀 text;\n";
    // A text column holds the server's single-byte code page on SQL Server: there it gets
    // plain ASCII. SQLite keeps any text in it.
    std::string plain;
    for (int i = 0; plain.size() < (1u << 20); ++i)
        plain += "Line " + std::to_string(i) + " text;\n";
    const std::string note = db.isTsql() ? plain : big;
    const std::string bytes = randomBytes(1u << 20, 7);
    c.execute("CREATE TABLE [docs] ([id] int NOT NULL PRIMARY KEY, [body] ntext NULL, [note] text NULL, "
              "[data] image NULL, [small] varbinary(16) NULL);");
    EXPECT_EQ(c.execute("INSERT INTO [docs] VALUES (?, ?, ?, ?, ?);",
                        {integer(1), text(big), text(note), Param{Value::fromBinary(bytes)},
                         Param{Value::fromBinary(std::string("\0\x01\xFF", 3))}}),
              1);
    EXPECT_EQ(c.execute("INSERT INTO [docs] VALUES (2, '', NULL, NULL, NULL);"), 1);

    // Stored whole.
    if (db.isSqlite()) {
        EXPECT_EQ(db.value("SELECT length(body) FROM docs WHERE id = 1;").toStdString(),
                  std::to_string(QString::fromStdString(big).toUcs4().size()));
        EXPECT_EQ(db.value("SELECT hex(data) = '" + hexOf(bytes) + "' FROM docs WHERE id = 1;"), "1");
    } else {
        EXPECT_TRUE(db.value("SELECT body FROM docs WHERE id = 1;") == QString::fromStdString(big));
        EXPECT_EQ(db.value("SELECT CAST(DATALENGTH(data) AS int) FROM docs WHERE id = 1;").toStdString(),
                  std::to_string(bytes.size()));
        EXPECT_TRUE(db.value("SELECT data FROM docs WHERE id = 1;") == QString::fromLatin1(bytes.data(), qsizetype(bytes.size())));
    }

    const auto rows = readAll(c, "SELECT * FROM [docs];");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], Value::fromText(big));
    EXPECT_EQ(rows[0][2], Value::fromText(note));
    EXPECT_EQ(rows[0][3], Value::fromBinary(bytes));
    EXPECT_EQ(rows[0][4], Value::fromBinary(std::string("\0\x01\xFF", 3)));
    EXPECT_EQ(rows[1][1], Value::fromText(""));
    for (int col : {2, 3, 4})
        EXPECT_TRUE(rows[1][col].isNull()) << col;
}

TEST_F(Odbc, ValuesLongerThanTheirDeclaredSizeStillComeBackWholeAndInOrder)
{
    // SQLite keeps what it is given, whatever the declared size: a block of bound buffers sized
    // from the declarations overflows, and the rows must still come back whole, in order. A
    // SQL Server holds no more than the declared size; its long values live in (max) columns,
    // which no block buffer is sized for.
    db.exec(db.isSqlite()
                ? "CREATE TABLE [t] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(10) NULL, [raw] varbinary(4) NULL);"
                : "CREATE TABLE [t] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(max) NULL, [raw] varbinary(max) NULL);");
    const std::string longText = std::string(5000, 'x') + "Ω";
    const std::string longBytes = randomBytes(3000, 11);
    c.beginTransaction();
    for (int i = 1; i <= 3000; ++i) {
        const bool overflowing = i == 2500;
        c.execute("INSERT INTO [t] VALUES (?, ?, ?);",
                  {integer(i), text(overflowing ? longText : "n" + std::to_string(i)),
                   Param{Value::fromBinary(overflowing ? longBytes : std::string(1, char(i % 256)))}});
    }
    c.commit();

    odbc::ResultSet rs = c.query("SELECT * FROM [t] ORDER BY [id];");
    std::int64_t expectedId = 1;
    while (rs.fetchBlock()) {
        for (std::size_t r = 0; r < rs.blockRows(); ++r, ++expectedId) {
            ASSERT_EQ(rs.cell(r, 0).integer, expectedId);
            if (expectedId == 2500) {
                EXPECT_EQ(rs.cell(r, 1).bytes, longText);
                EXPECT_EQ(rs.cell(r, 2).bytes, longBytes);
            } else {
                ASSERT_EQ(rs.cell(r, 1).bytes, "n" + std::to_string(expectedId));
                ASSERT_EQ(rs.cell(r, 2).bytes, std::string(1, char(expectedId % 256)));
            }
        }
    }
    EXPECT_EQ(expectedId, 3001);
}

TEST_F(Odbc, ManyRowsComeInBlocks)
{
    db.exec("CREATE TABLE [n] ([id] int NOT NULL PRIMARY KEY, [half] float NULL, [label] nvarchar(20) NULL);");
    db.exec(db.isSqlite()
                ? "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 5000) "
                  "INSERT INTO n SELECT i, i / 2.0, CASE WHEN i % 7 = 0 THEN NULL ELSE 'row ' || i END FROM s;"
                : "WITH s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 5000) "
                  "INSERT INTO n SELECT i, i / 2.0, CASE WHEN i % 7 = 0 THEN NULL ELSE CONCAT('row ', i) END FROM s "
                  "OPTION (MAXRECURSION 0);");
    odbc::ResultSet rs = c.query("SELECT * FROM [n] ORDER BY [id];");
    std::size_t blocks = 0, rows = 0, nulls = 0;
    while (rs.fetchBlock()) {
        ++blocks;
        ASSERT_GT(rs.blockRows(), 0u);
        for (std::size_t r = 0; r < rs.blockRows(); ++r) {
            const std::int64_t id = ++rows;
            ASSERT_EQ(rs.cell(r, 0).integer, id);
            ASSERT_EQ(rs.cell(r, 1).real, double(id) / 2.0);
            const odbc::CellView label = rs.cell(r, 2);
            if (id % 7 == 0) {
                ASSERT_EQ(label.kind, Kind::Null);
                ++nulls;
            } else {
                ASSERT_EQ(label.bytes, "row " + std::to_string(id));
            }
        }
    }
    EXPECT_EQ(rows, 5000u);
    EXPECT_EQ(nulls, 714u);
    EXPECT_GT(blocks, 1u);
    EXPECT_LT(blocks, 50u); // blocks of many rows, not row by row
    EXPECT_FALSE(rs.fetchBlock());
    EXPECT_EQ(rs.blockRows(), 0u);
}

TEST_F(Odbc, TwoTextCellsOfOneRowAreReadableTogether)
{
    db.exec("CREATE TABLE [p] ([a] nvarchar(10) NULL, [b] nvarchar(10) NULL, [c] nvarchar(10) NULL);"
            "INSERT INTO p VALUES ('first', '', NULL);");
    odbc::ResultSet rs = c.query("SELECT * FROM [p];");
    ASSERT_TRUE(rs.fetchBlock());
    const odbc::CellView a = rs.cell(0, 0);
    const odbc::CellView b = rs.cell(0, 1);
    const odbc::CellView n = rs.cell(0, 2);
    EXPECT_EQ(a.bytes, "first");
    EXPECT_EQ(b.kind, Kind::Text);
    EXPECT_EQ(b.bytes, "");
    EXPECT_EQ(n.kind, Kind::Null);
}

TEST_F(Odbc, ColumnMetadata)
{
    db.exec("CREATE TABLE [m] (" + db.autoKey("id") + ", [must] int NOT NULL, [may] int NULL, "
            "[price] decimal(10, 2) NULL, [ratio] float NULL, [at] datetime NULL, [photo] varbinary(50) NULL, "
            "[title] nvarchar(40) NOT NULL, [flag] bit NULL);");
    odbc::ResultSet rs = c.query("SELECT * FROM [m];");
    const auto& cols = rs.columns();
    struct Expect {
        const char* name;
        Kind kind;
        bool nullable;
    };
    // SQLite's driver calls its INTEGER PRIMARY KEY nullable; a SQL Server's identity key is
    // NOT NULL. Babelfish marks every column of a result nullable and none as an identity.
    const bool bf = babelfish();
    const bool keyNullable = db.isSqlite() || bf;
    const Expect expected[] = {{"id", Kind::Integer, keyNullable}, {"must", Kind::Integer, bf},
                               {"may", Kind::Integer, true},       {"price", Kind::Text, true},
                               {"ratio", Kind::Real, true},        {"at", Kind::Text, true},
                               {"photo", Kind::Binary, true},      {"title", Kind::Text, bf},
                               {"flag", Kind::Integer, true}};
    ASSERT_EQ(cols.size(), std::size(expected));
    for (std::size_t i = 0; i < cols.size(); ++i) {
        EXPECT_EQ(cols[i].name, expected[i].name);
        EXPECT_EQ(cols[i].kind, expected[i].kind) << cols[i].name;
        EXPECT_EQ(cols[i].nullable, expected[i].nullable) << cols[i].name;
        EXPECT_FALSE(cols[i].rowVersion) << cols[i].name;
        if (i > 0 || db.isSqlite() || bf) // a SQL Server's identity column is not written to
            EXPECT_TRUE(cols[i].updatable) << cols[i].name;
    }
    EXPECT_EQ(cols[0].autoIncrement, !bf);
    EXPECT_FALSE(cols[1].autoIncrement);
    EXPECT_EQ(cols[7].columnSize, 40u);
    EXPECT_EQ(cols[7].typeName, "nvarchar");
    EXPECT_FALSE(rs.fetchBlock());
}

TEST_F(Odbc, KeyColumns)
{
    db.exec("CREATE TABLE [pk] ([b] int NOT NULL, [a] int NOT NULL, [v] int NULL, PRIMARY KEY ([b], [a]));"
            "CREATE TABLE [uniq] ([x] int NULL, [y] int NOT NULL, [z] int NOT NULL, [w] int NOT NULL);"
            "CREATE UNIQUE INDEX [ux] ON [uniq] ([x]);"
            "CREATE UNIQUE INDEX [uwz] ON [uniq] ([w], [z]);"
            "CREATE INDEX [plain] ON [uniq] ([y]);"
            "CREATE TABLE [none] ([x] int NULL, [y] int NOT NULL);"
            "CREATE UNIQUE INDEX [nx] ON [none] ([x], [y]);"
            "CREATE TABLE [bare] ([x] int NULL);"
            // '_' is a wildcard in catalogue patterns: [k_t] must not take [kat]'s nullability.
            "CREATE TABLE [k_t] ([c] int NOT NULL);"
            "CREATE UNIQUE INDEX [kc] ON [k_t] ([c]);"
            "CREATE TABLE [kat] ([c] int NULL);");
    EXPECT_EQ(c.keyColumns("pk"), std::vector<std::string>({"b", "a"}));
    EXPECT_EQ(c.keyColumns("uniq"), std::vector<std::string>({"w", "z"}));
    EXPECT_EQ(c.keyColumns("none"), std::vector<std::string>());
    EXPECT_EQ(c.keyColumns("bare"), std::vector<std::string>());
    EXPECT_EQ(c.keyColumns("k_t"), std::vector<std::string>({"c"}));
}

TEST_F(Odbc, RollbackLeavesNothingAndCommitKeeps)
{
    db.exec("CREATE TABLE [t] ([id] int NOT NULL);");
    c.beginTransaction();
    EXPECT_EQ(c.execute("INSERT INTO [t] VALUES (1);"), 1);
    c.rollback();
    EXPECT_EQ(db.value("SELECT count(*) FROM t;"), "0");

    c.beginTransaction();
    EXPECT_EQ(c.execute("INSERT INTO [t] VALUES (2);"), 1);
    c.commit();
    EXPECT_EQ(db.column("SELECT id FROM t;"), QStringList({"2"}));

    // Back in autocommit: a plain statement is kept at once.
    c.execute("INSERT INTO [t] VALUES (3);");
    EXPECT_EQ(db.value("SELECT count(*) FROM t;"), "2");

    // A connection that goes away in the middle of a transaction leaves nothing behind.
    {
        odbc::Connection other = db.connect();
        other.beginTransaction();
        other.execute("INSERT INTO [t] VALUES (4);");
    }
    EXPECT_EQ(db.value("SELECT count(*) FROM t;"), "2");
}

TEST_F(Odbc, LastIdentityOfAnInsert)
{
    db.exec("CREATE TABLE [t] (" + db.autoKey("id") + ", [v] nvarchar(10) NULL);");
    db.exec("INSERT INTO t (v) VALUES ('a'), ('b'), ('c');");
    EXPECT_EQ(c.execute("INSERT INTO [t] ([v]) VALUES (?);", {text("d")}), 1);
    EXPECT_EQ(c.lastIdentity(), std::optional<std::int64_t>(4));
    c.execute("INSERT INTO [t] ([v]) VALUES ('e');");
    EXPECT_EQ(c.lastIdentity(), std::optional<std::int64_t>(5));
}

TEST_F(Odbc, ValuesReadBackAndBoundAgainFindTheirRow)
{
    // What the grid does to find a row again: each value as it was read, bound as a parameter
    // with its column's type, must compare equal to the stored value.
    // A literal for each engine; none where the engine cannot compare the type (a SQL Server
    // compares no image, text or ntext values).
    struct Case {
        const char* type;
        const char* sqlite;
        const char* tsql;
    };
    const Case cases[] = {
        {"float", "0.1", "0.1"},
        {"float", "-1234.5678e-10", "-1234.5678e-10"},
        {"real", "2.5", "2.5"},
        {"decimal(10, 2)", "'12.50'", "'12.50'"},
        {"decimal(18, 4)", "'-0.0001'", "'-0.0001'"},
        {"datetime", "'2024-02-29 13:45:10.123'", "'2024-02-29 13:45:10.123'"},
        {"datetime", "'2024-02-29 13:45:10'", "'2024-02-29 13:45:10'"},
        {"date", "'1999-12-31'", "'1999-12-31'"},
        {"time", "'23:59:58'", "'23:59:58'"},
        {"uniqueidentifier", "'6F9619FF-8B86-D011-B42D-00C04FC964FF'", "'6F9619FF-8B86-D011-B42D-00C04FC964FF'"},
        {"nvarchar(20)", "'Ελλάδα 😀'", "N'Ελλάδα 😀'"},
        {"varbinary(8)", "x'00FF10'", "0x00FF10"},
        {"image", "x'00FF10'", nullptr},
        {"bigint", "9007199254740993", "9007199254740993"},
        {"bit", "1", "1"},
        {"datetime2", nullptr, "'2024-02-29 13:45:10.123456'"},
        {"money", nullptr, "'-12.3456'"},
        {"smalldatetime", nullptr, "'2024-02-29 13:45:00'"},
        {"char(4)", nullptr, "'ab'"},
    };
    int n = 0;
    for (const Case& k : cases) {
        const char* literal = db.isSqlite() ? k.sqlite : k.tsql;
        if (!literal)
            continue;
        SCOPED_TRACE(std::string(k.type) + " " + literal);
        const std::string v = "v" + std::to_string(++n);
        db.exec("CREATE TABLE [" + v + "] ([id] int NOT NULL, [x] " + std::string(k.type) + " NULL);"
                "INSERT INTO " + v + " VALUES (1, " + literal + "), (2, NULL);");
        odbc::ResultSet rs = c.query("SELECT [x] FROM [" + v + "] WHERE [id] = 1;");
        const odbc::ColumnInfo info = rs.columns().at(0);
        ASSERT_TRUE(rs.fetchBlock());
        const Value read = Value::fromView(rs.cell(0, 0));
        ASSERT_FALSE(read.isNull());
        EXPECT_FALSE(rs.fetchBlock());

        Param p{read, info.sqlType, info.columnSize, info.decimalDigits};
        const auto found = readAll(c, "SELECT [id] FROM [" + v + "] WHERE [x] = ?;", {p});
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0][0].integer, 1);
        // Written back unchanged, the stored value stays the same (on SQLite in SQLite's own
        // exact text of it).
        const std::string stored = db.isSqlite() ? "SELECT quote(x) FROM " + v + " WHERE id = 1;"
                                                 : "SELECT x FROM " + v + " WHERE id = 1;";
        const QString before = db.value(stored);
        EXPECT_EQ(c.execute("UPDATE [" + v + "] SET [x] = ? WHERE [id] = 1;", {p}), 1);
        EXPECT_EQ(db.value(stored), before);
        // A NULL of the column's type is written as NULL.
        const Param null{Value::null(), info.sqlType, info.columnSize, info.decimalDigits};
        EXPECT_EQ(c.execute("UPDATE [" + v + "] SET [x] = ? WHERE [id] = 2;", {null}), 1);
        EXPECT_EQ(db.value("SELECT CASE WHEN x IS NULL THEN 1 ELSE 0 END FROM " + v + " WHERE id = 2;"), "1");
    }
}

TEST_F(Odbc, SqliteDriverReadsFloatsToFifteenDigitsOnly)
{
    if (!db.isSqlite())
        GTEST_SKIP() << "about SQLite's driver; FreeTdsReadsFloatsExactly is its T-SQL counterpart";
    // The SQLite driver hands out every value through SQLite's text form, which keeps 15
    // significant digits: such a float cannot be found again by the value read. (Written
    // values are kept exactly; FreeTDS reads float8 exactly.) Whoever compares floats in a
    // WHERE has to know this.
    db.exec("CREATE TABLE [f] ([x] float NULL); INSERT INTO f VALUES (0.1 + 0.2);");
    const auto rows = readAll(c, "SELECT [x] FROM [f];");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].kind, Kind::Real);
    EXPECT_EQ(rows[0][0].real, 0.3);
    EXPECT_NE(rows[0][0].real, 0.1 + 0.2);
    EXPECT_TRUE(readAll(c, "SELECT [x] FROM [f] WHERE [x] = ?;", {Param{rows[0][0]}}).empty());
    EXPECT_EQ(readAll(c, "SELECT [x] FROM [f] WHERE [x] = ?;", {Param{Value::fromReal(0.1 + 0.2)}}).size(), 1u);
}

TEST_F(Odbc, FreeTdsReadsFloatsExactly)
{
    if (!db.isTsql())
        GTEST_SKIP() << "about FreeTDS; SqliteDriverReadsFloatsToFifteenDigitsOnly is its SQLite counterpart";
    // FreeTDS reads a float8 as the double it is, so the value read finds its row again.
    // (0.1 is a decimal literal in T-SQL, and 0.1 + 0.2 exactly 0.3: the sum is made in float.)
    db.exec("CREATE TABLE [f] ([x] float NULL); INSERT INTO f VALUES (CAST(0.1 AS float) + CAST(0.2 AS float));");
    const auto rows = readAll(c, "SELECT [x] FROM [f];");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].kind, Kind::Real);
    EXPECT_EQ(rows[0][0].real, 0.1 + 0.2);
    EXPECT_NE(rows[0][0].real, 0.3);
    EXPECT_EQ(readAll(c, "SELECT [x] FROM [f] WHERE [x] = ?;", {Param{rows[0][0]}}).size(), 1u);
    EXPECT_TRUE(readAll(c, "SELECT [x] FROM [f] WHERE [x] = ?;", {Param{Value::fromReal(0.3)}}).empty());
}

TEST_F(Odbc, QueryAfterAnotherConnectionChangedTheTableSeesItAsItIsNow)
{
    db.exec("CREATE TABLE [t] ([id] int NOT NULL); INSERT INTO t VALUES (1);");
    auto names = [&] {
        odbc::ResultSet rs = c.query("SELECT * FROM [t];");
        std::vector<std::string> n;
        for (const auto& col : rs.columns())
            n.push_back(col.name + " " + col.typeName);
        EXPECT_TRUE(rs.fetchBlock());
        EXPECT_EQ(rs.blockRows(), 1u);
        return n;
    };
    // SQLite's driver gives the declared type as SQLite keeps it; FreeTDS the server's name for it.
    const std::string idInt = db.isSqlite() ? "id INT" : "id int";
    EXPECT_EQ(names(), std::vector<std::string>({idInt}));

    db.connect().execute("ALTER TABLE [t] ADD [note] nvarchar(10) NULL;");
    EXPECT_EQ(names(), std::vector<std::string>({idInt, "note nvarchar"}));

    db.exec("DROP TABLE t; CREATE TABLE [t] ([x] float NULL, [y] datetime NULL); INSERT INTO t VALUES (1.5, NULL);");
    EXPECT_EQ(names(), std::vector<std::string>({"x float", "y datetime"}));
}

TEST_F(Odbc, ResultSetKeepsItsConnectionAlive)
{
    db.exec("CREATE TABLE [t] ([id] int NOT NULL); INSERT INTO t VALUES (1), (2);");
    odbc::ResultSet rs = [&] {
        odbc::Connection own = db.connect();
        return own.query("SELECT [id] FROM [t] ORDER BY [id];");
    }();
    ASSERT_TRUE(rs.fetchBlock());
    EXPECT_EQ(rs.blockRows(), 2u);
    EXPECT_EQ(rs.cell(1, 0).integer, 2);
}

TEST_F(Odbc, MovedFromConnectionRefusesWork)
{
    odbc::Connection moved = std::move(c);
    EXPECT_EQ(moved.dbmsName(), db.isSqlite() ? "SQLite" : "Microsoft SQL Server");
    EXPECT_THROW(c.execute("SELECT 1;"), odbc::Error);
}

TEST(OdbcText, Utf8AndUtf16ConvertBothWays)
{
    const std::string samples[] = {"", "plain", "Ελληνικά", "😀 emoji", "mixed ß 中文 😀 end"};
    for (const std::string& s : samples)
        EXPECT_EQ(odbc::toUtf8(odbc::toUtf16(s)), s);
    EXPECT_EQ(odbc::toUtf16("😀").size(), 2u); // a surrogate pair
    EXPECT_EQ(odbc::toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD"); // lone surrogate
    EXPECT_EQ(odbc::toUtf16("\xC3"), u"\uFFFD");                                      // cut sequence
}
