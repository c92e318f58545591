// How values read and typed look: the display text of each type, the parsing of typed text
// back into a value of the column's type, and the order of exact decimals.

#include "tables/ValueFormat.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

namespace tabulon {
namespace {

odbc::ColumnInfo column(short sqlType, const char* typeName, odbc::Kind kind, std::size_t size = 0, short digits = 0)
{
    odbc::ColumnInfo c;
    c.name = "c";
    c.sqlType = sqlType;
    c.typeName = typeName;
    c.kind = kind;
    c.columnSize = size;
    c.decimalDigits = digits;
    return c;
}

const odbc::ColumnInfo kInt = column(SQL_INTEGER, "int", odbc::Kind::Integer, 10);
const odbc::ColumnInfo kTinyInt = column(SQL_TINYINT, "tinyint", odbc::Kind::Integer, 3);
const odbc::ColumnInfo kBit = column(SQL_BIT, "bit", odbc::Kind::Integer, 1);
const odbc::ColumnInfo kFloat = column(SQL_FLOAT, "float", odbc::Kind::Real, 53);
const odbc::ColumnInfo kReal = column(SQL_REAL, "real", odbc::Kind::Real, 24);
const odbc::ColumnInfo kDecimal = column(SQL_DECIMAL, "decimal", odbc::Kind::Text, 10, 2);
const odbc::ColumnInfo kMoney = column(SQL_DECIMAL, "money", odbc::Kind::Text, 19, 4);
const odbc::ColumnInfo kDate = column(SQL_TYPE_DATE, "date", odbc::Kind::Text, 10);
const odbc::ColumnInfo kTime = column(-154, "time", odbc::Kind::Text, 16, 7);
const odbc::ColumnInfo kDateTime = column(SQL_TYPE_TIMESTAMP, "datetime", odbc::Kind::Text, 23, 3);
const odbc::ColumnInfo kOffset = column(-155, "datetimeoffset", odbc::Kind::Text, 34, 7);
const odbc::ColumnInfo kGuid = column(SQL_GUID, "uniqueidentifier", odbc::Kind::Text, 36);
const odbc::ColumnInfo kBinary = column(SQL_VARBINARY, "varbinary", odbc::Kind::Binary, 8);
const odbc::ColumnInfo kText = column(SQL_WVARCHAR, "nvarchar", odbc::Kind::Text, 50);

struct ParseCase {
    const odbc::ColumnInfo* column;
    QString typed;
    bool ok;
    odbc::Value value;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << c.column->typeName << " \"" << c.typed.toStdString() << "\"";
}

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, TypedTextBecomesAValueOfTheColumnOrIsRefused)
{
    const ParseCase& c = GetParam();
    const ParsedValue p = parseValue(*c.column, c.typed);
    EXPECT_EQ(p.ok, c.ok) << c.typed.toStdString() << ": " << p.problem.toStdString();
    if (c.ok)
        EXPECT_EQ(p.value, c.value) << c.typed.toStdString();
    else
        EXPECT_TRUE(p.problem.endsWith("expected.")) << p.problem.toStdString();
}

using V = odbc::Value;

INSTANTIATE_TEST_SUITE_P(
    EveryType, Parse,
    ::testing::Values(
        ParseCase{&kInt, "42", true, V::fromInteger(42)}, ParseCase{&kInt, " -7 ", true, V::fromInteger(-7)},
        ParseCase{&kInt, "+8", true, V::fromInteger(8)}, ParseCase{&kInt, "", true, V::null()},
        ParseCase{&kInt, "   ", true, V::null()}, ParseCase{&kInt, "abc", false, {}},
        ParseCase{&kInt, "3.5", false, {}}, ParseCase{&kInt, "2147483648", false, {}},
        ParseCase{&kInt, "12abc", false, {}}, ParseCase{&kTinyInt, "255", true, V::fromInteger(255)},
        ParseCase{&kTinyInt, "256", false, {}}, ParseCase{&kTinyInt, "-1", false, {}},
        ParseCase{&kBit, "1", true, V::fromInteger(1)}, ParseCase{&kBit, "False", true, V::fromInteger(0)},
        ParseCase{&kBit, "2", false, {}}, ParseCase{&kFloat, "1e3", true, V::fromReal(1000)},
        ParseCase{&kFloat, "-0.25", true, V::fromReal(-0.25)}, ParseCase{&kFloat, "0.1", true, V::fromReal(0.1)},
        ParseCase{&kFloat, "inf", false, {}}, ParseCase{&kFloat, "nan", false, {}},
        ParseCase{&kFloat, "1,5", false, {}}, ParseCase{&kReal, "1e39", false, {}},
        ParseCase{&kDecimal, "12.50", true, V::fromText("12.50")}, ParseCase{&kDecimal, "+3", true, V::fromText("3")},
        ParseCase{&kDecimal, "-.5", true, V::fromText("-.5")}, ParseCase{&kDecimal, "1e5", false, {}},
        ParseCase{&kDecimal, "12,5", false, {}}, ParseCase{&kMoney, "abc", false, {}},
        ParseCase{&kDate, "2024-2-29", true, V::fromText("2024-02-29")}, ParseCase{&kDate, "2023-02-29", false, {}},
        ParseCase{&kDate, "2024-13-01", false, {}}, ParseCase{&kDate, "31/03/2024", false, {}},
        ParseCase{&kTime, "9:05", true, V::fromText("09:05:00")},
        ParseCase{&kTime, "23:59:59.1234567", true, V::fromText("23:59:59.1234567")},
        ParseCase{&kTime, "24:00", false, {}},
        ParseCase{&kDateTime, "2024-03-31 14:30", true, V::fromText("2024-03-31 14:30:00")},
        ParseCase{&kDateTime, "2024-03-31T14:30:00.123", true, V::fromText("2024-03-31 14:30:00.123")},
        ParseCase{&kDateTime, "2024-03-31", true, V::fromText("2024-03-31 00:00:00")},
        ParseCase{&kDateTime, "2024-03-31 25:00", false, {}}, ParseCase{&kDateTime, "yesterday", false, {}},
        ParseCase{&kDateTime, "2024-03-31 10:00 +01:00", false, {}},
        ParseCase{&kOffset, "2024-03-31 14:30:00 +02:00", true, V::fromText("2024-03-31 14:30:00 +02:00")},
        ParseCase{&kOffset, "2024-03-31T14:30Z", true, V::fromText("2024-03-31 14:30:00 +00:00")},
        ParseCase{&kGuid, "{6f9619ff-8b86-d011-b42d-00c04fc964ff}", true,
                  V::fromText("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
        ParseCase{&kGuid, "6F9619FF8B86D011B42D00C04FC964FF", false, {}},
        ParseCase{&kBinary, "0x0a0B", true, V::fromBinary(std::string("\x0a\x0b", 2))},
        ParseCase{&kBinary, "00FF", true, V::fromBinary(std::string("\x00\xff", 2))},
        ParseCase{&kBinary, "0x", true, V::fromBinary("")}, ParseCase{&kBinary, "", true, V::null()},
        ParseCase{&kBinary, "0x1", false, {}}, ParseCase{&kBinary, "0xZZ", false, {}},
        ParseCase{&kText, "", true, V::fromText("")}, ParseCase{&kText, "  a ", true, V::fromText("  a ")},
        ParseCase{&kText, QStringLiteral("\u03A9 \U0001F600"), true, V::fromText("\xCE\xA9 \xF0\x9F\x98\x80")}));

struct ShowCase {
    const odbc::ColumnInfo* column;
    odbc::Value value;
    QString shown;
};

void PrintTo(const ShowCase& c, std::ostream* os)
{
    *os << c.column->typeName << " -> \"" << c.shown.toStdString() << "\"";
}

class Show : public ::testing::TestWithParam<ShowCase> {};

TEST_P(Show, ValuesReadAsAPersonWritesThem)
{
    const ShowCase& c = GetParam();
    EXPECT_EQ(displayText(*c.column, c.value), c.shown);
    std::string utf8 = "x";
    appendDisplayUtf8(*c.column, viewOf(c.value), utf8);
    EXPECT_EQ(QString::fromStdString(utf8), "x" + c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, Show,
    ::testing::Values(ShowCase{&kInt, V::fromInteger(-42), "-42"}, ShowCase{&kBit, V::fromInteger(1), "1"},
                      ShowCase{&kFloat, V::fromReal(0.1), "0.1"}, ShowCase{&kFloat, V::fromReal(1.0 / 3), "0.3333333333333333"},
                      ShowCase{&kFloat, V::fromReal(1e20), "1e+20"},
                      ShowCase{&kReal, V::fromReal(static_cast<double>(0.1f)), "0.1"},
                      ShowCase{&kMoney, V::fromText("12.3400"), "12.3400"},
                      ShowCase{&kDateTime, V::fromText("2024-01-02 03:04:05.123"), "2024-01-02 03:04:05.123"},
                      ShowCase{&kBinary, V::fromBinary(std::string("\x00\xab\x10", 3)), "0x00AB10"},
                      ShowCase{&kBinary, V::fromBinary(""), "0x"}, ShowCase{&kText, V::null(), ""},
                      ShowCase{&kInt, V::null(), ""}));

TEST(ValueFacts, WhatCanBeComparedAndWhatTheServerFills)
{
    EXPECT_FALSE(isComparable(column(SQL_LONGVARCHAR, "text", odbc::Kind::Text)));
    EXPECT_FALSE(isComparable(column(SQL_WLONGVARCHAR, "ntext", odbc::Kind::Text)));
    EXPECT_FALSE(isComparable(column(SQL_LONGVARBINARY, "image", odbc::Kind::Binary)));
    EXPECT_FALSE(isComparable(column(-152, "xml", odbc::Kind::Text)));
    EXPECT_FALSE(isComparable(column(-150, "sql_variant", odbc::Kind::Text)));
    EXPECT_FALSE(isComparable(column(SQL_VARBINARY, "", odbc::Kind::Binary))); // a CLR type
    EXPECT_TRUE(isComparable(column(SQL_WLONGVARCHAR, "nvarchar", odbc::Kind::Text))); // nvarchar(max)
    EXPECT_TRUE(isComparable(kFloat));
    EXPECT_TRUE(isComparable(kDateTime));

    odbc::ColumnInfo identity = column(SQL_INTEGER, "int identity", odbc::Kind::Integer);
    identity.autoIncrement = true;
    odbc::ColumnInfo version = column(SQL_BINARY, "timestamp", odbc::Kind::Binary);
    version.rowVersion = true;
    odbc::ColumnInfo computed = kInt;
    computed.updatable = false;
    EXPECT_TRUE(isGenerated(identity));
    EXPECT_TRUE(isGenerated(version));
    EXPECT_TRUE(isGenerated(computed));
    EXPECT_FALSE(isGenerated(kInt));
    EXPECT_EQ(valueTypeOf(identity), ValueType::Integer);
    EXPECT_EQ(valueTypeOf(column(SQL_VARCHAR, "decimal", odbc::Kind::Text)), ValueType::Decimal);
}

TEST(ValueOrder, DecimalsCompareAsNumbers)
{
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    for (const Case& c : {Case{"10.5", "9.75", 1}, Case{"-2", "-10", 1}, Case{"0.0", "-0", 0},
                          Case{"1.50", "1.5", 0}, Case{"100", "99.999", 1}, Case{"-0.01", "0", -1},
                          Case{"0012.3", "12.30", 0}, Case{"-1.5", "-1.25", -1}}) {
        EXPECT_EQ(compareDecimalText(c.a, c.b), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ(compareDecimalText(c.b, c.a), -c.sign) << c.b << " vs " << c.a;
    }
    const V null = V::null(), one = V::fromInteger(1);
    EXPECT_LT(compareValues(kInt, viewOf(null), viewOf(one)), 0);
    EXPECT_EQ(compareValues(kInt, viewOf(null), viewOf(null)), 0);
}

} // namespace
} // namespace tabulon
