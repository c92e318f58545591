#include "ValuePrinters.h"
#include "schema/SchemaSql.h"

#include <gtest/gtest.h>

namespace tabulon {
namespace {

const QString I = QStringLiteral(" IDENTITY(1,1) NOT NULL ");

ColumnDefinition col(QString name, QString type, QString m = {}, QString d = {},
                     QString def = {}, bool autoInc = false)
{
    return ColumnDefinition{name, type, m, d, def, autoInc};
}

// One column as the user fills the dialog, what the editor's path sends, and what the
// designer's path writes into its list.
struct ColumnCase {
    const char* label;
    ColumnDefinition input;
    QString addStatement;
    QString defaultStatement; // empty: no second statement
    FieldRow row;
};
void PrintTo(const ColumnCase& c, std::ostream* out) { *out << c.label; }

class ColumnCases : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(ColumnCases, StatementsAndFieldRow)
{
    const ColumnCase& c = GetParam();
    const QString table = QStringLiteral("Orders");
    EXPECT_EQ(addColumnStatement(table, c.input), c.addStatement);
    EXPECT_EQ(hasDefault(c.input), !c.defaultStatement.isEmpty());
    if (hasDefault(c.input)) {
        EXPECT_EQ(addDefaultStatement(table, c.input.name, c.input.defaultValue), c.defaultStatement);
    }
    EXPECT_EQ(fieldRow(c.input), c.row);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedAndEdges, ColumnCases,
    ::testing::Values(
        ColumnCase{"qty_int", col("Qty", "INT"), "ALTER TABLE [Orders] ADD [Qty] INT", {},
                   {"Qty", "INT", "", ""}},
        ColumnCase{"price_decimal", col("Price", "DECIMAL", "10", "2"),
                   "ALTER TABLE [Orders] ADD [Price] DECIMAL (10, 2)", {},
                   {"Price", "DECIMAL", "(10, 2)", ""}},
        ColumnCase{"code_varchar", col("Code", "VARCHAR", "20"),
                   "ALTER TABLE [Orders] ADD [Code] VARCHAR (20)", {},
                   {"Code", "VARCHAR", "(20)", ""}},
        ColumnCase{"id_identity", col("Id", "INT", {}, {}, {}, true),
                   "ALTER TABLE [Orders] ADD [Id] INT IDENTITY(1,1) NOT NULL ", {},
                   {"Id", "INT", "", I}},
        ColumnCase{"qty_default", col("Qty", "INT", {}, {}, "0"),
                   "ALTER TABLE [Orders] ADD [Qty] INT",
                   "ALTER TABLE [Orders] ADD DEFAULT 0 FOR [Qty]", {"Qty", "INT", "", "", "0"}},
        ColumnCase{"leading_blank_kept", col(" Qty", "INT"),
                   "ALTER TABLE [Orders] ADD [ Qty] INT", {}, {" Qty", "INT", "", ""}},
        ColumnCase{"m_blank_d_set", col("Qty", "DECIMAL", "", "2"),
                   "ALTER TABLE [Orders] ADD [Qty] DECIMAL", {}, {"Qty", "DECIMAL", "", ""}},
        ColumnCase{"m_blanks_d_set", col("Qty", "DECIMAL", "   ", "2"),
                   "ALTER TABLE [Orders] ADD [Qty] DECIMAL", {}, {"Qty", "DECIMAL", "", ""}},
        ColumnCase{"d_of_blanks", col("Qty", "DECIMAL", "10", "   "),
                   "ALTER TABLE [Orders] ADD [Qty] DECIMAL (10)", {}, {"Qty", "DECIMAL", "(10)", ""}},
        ColumnCase{"blanks_around_numbers", col("P", "NUMERIC", " 10 ", " 2"),
                   "ALTER TABLE [Orders] ADD [P] NUMERIC ( 10 ,  2)", {},
                   {"P", "NUMERIC", "( 10 ,  2)", ""}},
        ColumnCase{"identity_on_varchar", col("V", "VARCHAR", "5", {}, {}, true),
                   "ALTER TABLE [Orders] ADD [V] VARCHAR (5) IDENTITY(1,1) NOT NULL ", {},
                   {"V", "VARCHAR", "(5)", I}},
        ColumnCase{"identity_on_xml", col("X", "XML", {}, {}, {}, true),
                   "ALTER TABLE [Orders] ADD [X] XML IDENTITY(1,1) NOT NULL ", {},
                   {"X", "XML", "", I}},
        ColumnCase{"text_default_as_typed", col("Note", "VARCHAR", "10", {}, "'n/a'"),
                   "ALTER TABLE [Orders] ADD [Note] VARCHAR (10)",
                   "ALTER TABLE [Orders] ADD DEFAULT 'n/a' FOR [Note]",
                   {"Note", "VARCHAR", "(10)", "", "'n/a'"}},
        ColumnCase{"default_without_quotes_sent_bare", col("Who", "VARCHAR", "10", {}, "abc"),
                   "ALTER TABLE [Orders] ADD [Who] VARCHAR (10)",
                   "ALTER TABLE [Orders] ADD DEFAULT abc FOR [Who]",
                   {"Who", "VARCHAR", "(10)", "", "abc"}},
        ColumnCase{"default_of_blanks_not_sent", col("Qty", "INT", {}, {}, "   "),
                   "ALTER TABLE [Orders] ADD [Qty] INT", {}, {"Qty", "INT", "", ""}},
        ColumnCase{"precision_and_scale_in_m", col("Price", "DECIMAL", "10, 2"),
                   "ALTER TABLE [Orders] ADD [Price] DECIMAL (10, 2)", {},
                   {"Price", "DECIMAL", "(10, 2)", ""}},
        ColumnCase{"precision_and_scale_in_m_no_blank", col("Price", "DECIMAL", "10,2"),
                   "ALTER TABLE [Orders] ADD [Price] DECIMAL (10,2)", {},
                   {"Price", "DECIMAL", "(10,2)", ""}},
        ColumnCase{"bracket_in_name_doubled", col("a]b", "INT", {}, {}, "1"),
                   "ALTER TABLE [Orders] ADD [a]]b] INT",
                   "ALTER TABLE [Orders] ADD DEFAULT 1 FOR [a]]b]", {"a]b", "INT", "", "", "1"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ColumnStatement, TableNameWithBracketIsDoubledInBothStatements)
{
    const QString table = QStringLiteral("Q3]Sales");
    EXPECT_EQ(addColumnStatement(table, col("Qty", "INT")),
              QStringLiteral("ALTER TABLE [Q3]]Sales] ADD [Qty] INT"));
    EXPECT_EQ(addDefaultStatement(table, QStringLiteral("Qty"), QStringLiteral("0")),
              QStringLiteral("ALTER TABLE [Q3]]Sales] ADD DEFAULT 0 FOR [Qty]"));
}

TEST(SizeText, OnlyBlanksCountAsEmpty)
{
    EXPECT_EQ(sizeText(QString(), QStringLiteral("2")), QString());
    EXPECT_EQ(sizeText(QStringLiteral("  "), QString()), QString());
    EXPECT_EQ(sizeText(QStringLiteral("max"), QString()), QStringLiteral("(max)"));
    EXPECT_EQ(sizeText(QStringLiteral("18"), QStringLiteral("0")), QStringLiteral("(18, 0)"));
}

TEST(TypeList, TheTwentySixNamesInOrder)
{
    const QStringList expected{
        "BIGINT",   "BINARY",   "BIT",           "CHAR",     "DATETIME",   "DECIMAL",
        "FLOAT",    "IMAGE",    "INT",           "MONEY",    "NCHAR",      "NTEXT",
        "NUMERIC",  "NVARCHAR", "REAL",          "SMALLDATETIME", "SMALLINT", "SMALLMONEY",
        "SQL_VARIANT", "TEXT",  "TIMESTAMP",     "TINYINT",  "UNIQUEIDENTIFIER", "VARBINARY",
        "VARCHAR",  "XML"};
    EXPECT_EQ(sqlTypeNames(), expected);
}

struct CreateCase {
    const char* label;
    QString table;
    QList<FieldRow> rows;
    QString statement;
};
void PrintTo(const CreateCase& c, std::ostream* out) { *out << c.label; }

class CreateCases : public ::testing::TestWithParam<CreateCase> {};

TEST_P(CreateCases, Statement)
{
    EXPECT_EQ(createTableStatement(GetParam().table, GetParam().rows), GetParam().statement);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedAndEdges, CreateCases,
    ::testing::Values(
        CreateCase{"worked_example",
                   "Orders",
                   {{"Id", "INT", "", I}, {"Name", "VARCHAR", "(50)", ""},
                    {"Price", "DECIMAL", "(10, 2)", ""}},
                   "CREATE TABLE [Orders]([Id] INT   IDENTITY(1,1) NOT NULL ,"
                   "[Name] VARCHAR (50) ,[Price] DECIMAL (10, 2) )"},
        CreateCase{"bare_row_keeps_both_blanks", "T",
                   {{"Qty", "INT", "", ""}, {"B", "BIT", "", ""}},
                   "CREATE TABLE [T]([Qty] INT  ,[B] BIT  )"},
        CreateCase{"one_row_no_comma", "T", {{"Qty", "INT", "", ""}},
                   "CREATE TABLE [T]([Qty] INT  )"},
        CreateCase{"blank_name_inside_brackets", "   ", {{"Qty", "INT", "", ""}},
                   "CREATE TABLE [   ]([Qty] INT  )"},
        CreateCase{"brackets_doubled", "a]b", {{"c]", "INT", "", ""}},
                   "CREATE TABLE [a]]b]([c]]] INT  )"},
        CreateCase{"rows_in_list_order_duplicates_as_they_are", "T",
                   {{"Z", "INT", "", ""}, {"A", "INT", "", ""}, {"Z", "INT", "", ""}},
                   "CREATE TABLE [T]([Z] INT  ,[A] INT  ,[Z] INT  )"},
        // A default follows the rest of its row after one blank of its own.
        CreateCase{"default_on_a_bare_row", "Orders", {{"Qty", "INT", "", "", "1"}},
                   "CREATE TABLE [Orders]([Qty] INT   DEFAULT 1)"},
        CreateCase{"defaults_with_size_as_typed_and_blank_ones_left_out", "Orders",
                   {{"Id", "INT", "", I},
                    {"Note", "VARCHAR", "(10)", "", "'n/a'"},
                    {"Price", "DECIMAL", "(10, 2)", "", " 2.5"},
                    {"Kept", "BIT", "", "", "   "}},
                   "CREATE TABLE [Orders]([Id] INT   IDENTITY(1,1) NOT NULL ,"
                   "[Note] VARCHAR (10)  DEFAULT 'n/a',"
                   "[Price] DECIMAL (10, 2)  DEFAULT  2.5,"
                   "[Kept] BIT  )"},
        CreateCase{"default_after_identity", "T", {{"Id", "INT", "", I, "0"}},
                   "CREATE TABLE [T]([Id] INT   IDENTITY(1,1) NOT NULL  DEFAULT 0)"},
        CreateCase{"default_expression_with_quotes_and_commas_inside", "T",
                   {{"At", "DATETIME", "", "", "COALESCE(NULL, getdate())"},
                    {"S", "VARCHAR", "(20)", "", "'a, b; c'"}},
                   "CREATE TABLE [T]([At] DATETIME   DEFAULT COALESCE(NULL, getdate()),"
                   "[S] VARCHAR (20)  DEFAULT 'a, b; c')"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace tabulon

TEST(SchemaSql, DefinitionsThatWouldEndTheStatementAreRefused)
{
    const struct {
        const char* m;
        const char* d;
        const char* def;
        bool refused;
    } cases[] = {
        {"10", "2", "0", false},          {" 10 ", " 2 ", "", false},
        {"max", "", "", false},           {"", "2); DROP TABLE x", "", false}, // no M: D unused
        {"10)", "", "", true},            {"1); DROP TABLE x; --", "", "", true},
        {"10", "2x", "", true},           {"", "", "0; DROP TABLE x", true},
        {"", "", "'a;b'", false},         {"", "", "'it''s; fine'", false},
        {"", "", "0 -- note", true},      {"", "", "0 /* x */", true},
        {"", "", "getdate()", false},
        // precision and scale typed together in M
        {"10, 2", "", "", false},         {"10,2", "", "", false},
        {" 10 , 2 ", "  ", "", false},    {"10, 2", "3", "", true}, // a second scale
        {"10,", "", "", true},            {",2", "", "", true},
        {"10, 2, 3", "", "", true},       {"10, x", "", "", true},
        // a default stays one expression inside its column's definition
        {"", "", "1, [Extra] INT", true}, {"", "", "1) DROP TABLE x SELECT (1", true},
        {"", "", "(1", true},             {"", "", "1)", true},
        {"", "", ")(", true},             {"", "", "COALESCE(NULL, 1)", false},
        {"", "", "'a, b)'", false},       {"", "", "((1) + (2))", false},
        {"", "", "N'it''s (so'", false},
    };
    for (const auto& c : cases) {
        tabulon::ColumnDefinition col;
        col.name = QStringLiteral("c");
        col.type = QStringLiteral("DECIMAL");
        col.m = QString::fromUtf8(c.m);
        col.d = QString::fromUtf8(c.d);
        col.defaultValue = QString::fromUtf8(c.def);
        EXPECT_EQ(!tabulon::definitionProblem(col).isEmpty(), c.refused) << c.m << "|" << c.d << "|" << c.def;
    }
}
