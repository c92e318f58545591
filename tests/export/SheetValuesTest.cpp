// How a cell's display text becomes a spreadsheet number or date, and when it stays text.
#include "export/Workbook.h"

#include <gtest/gtest.h>

namespace tabulon::test {
namespace {

struct NumberCase {
    const char* text;
    std::optional<double> exact;  // in an integer, decimal or money column
    std::optional<double> approx; // in a floating-point column
};

TEST(SheetValuesTest, NumbersAreTakenWhenTheCellKeepsThem)
{
    const std::nullopt_t none = std::nullopt;
    const NumberCase cases[] = {
        {"0", 0.0, 0.0},
        {"-7", -7.0, -7.0},
        {"+3", 3.0, 3.0},
        {"12.50", 12.5, 12.5},
        {"-0.05", -0.05, -0.05},
        {"1234.5678", 1234.5678, 1234.5678},
        {"1.5E-3", 0.0015, 0.0015},
        {"2.5e+20", 2.5e20, 2.5e20},
        {"-0.0000", 0.0, 0.0},
        {"123456789012345", 123456789012345.0, 123456789012345.0},
        {"1000000000000000000000", 1e21, 1e21}, // one significant digit
        // More digits than a cell keeps: exact values stay text, floating point is rounded.
        {"1234567890123456", none, 1234567890123456.0},
        {"9223372036854775807", none, 9223372036854775807.0},
        {"0.30000000000000004", none, 0.30000000000000004},
        {"", none, none},
        {"-", none, none},
        {".", none, none},
        {"1.2.3", none, none},
        {"12abc", none, none},
        {" 12", none, none},
        {"1e", none, none},
        {"inf", none, none},
        {"nan", none, none},
        {"1e999", none, none},
        {"0x10", none, none},
        {"True", none, none},
    };
    for (const NumberCase& c : cases) {
        for (const bool exact : {true, false}) {
            const std::optional<double> want = exact ? c.exact : c.approx;
            const std::optional<double> got = sheetNumber(c.text, exact);
            EXPECT_EQ(got.has_value(), want.has_value()) << c.text << (exact ? " exact" : "");
            if (got && want)
                EXPECT_EQ(*got, *want) << c.text;
        }
    }
    EXPECT_FALSE(std::signbit(*sheetNumber("-0", true)));
}

struct DateCase {
    CellKind kind;
    const char* text;
    std::optional<double> serial; // days since 1899-12-30, time as the fraction
    bool fraction = false;
};

TEST(SheetValuesTest, DatesAndTimesBecomeSerialNumbers)
{
    const double h1430 = (14 * 60 + 30) * 60 / 86400.0;
    const DateCase cases[] = {
        {CellKind::Date, "2024-03-31", 45382.0},
        {CellKind::Date, "1900-03-01", 61.0},
        {CellKind::Date, "1900-02-28", std::nullopt}, // the sheet's calendar counts 1900-02-29
        {CellKind::Date, "0001-01-01", std::nullopt},
        {CellKind::Date, "9999-12-31", 2958465.0},
        {CellKind::Date, "2023-02-29", std::nullopt},
        {CellKind::Date, "2024-3-31", std::nullopt},
        {CellKind::Date, "2024-03-31 00:00:00", std::nullopt},
        {CellKind::Time, "14:30:00", h1430},
        {CellKind::Time, "00:00:00.250", 0.25 / 86400.0, true},
        {CellKind::Time, "14:30:00.0000000", h1430},
        {CellKind::Time, "24:00:00", std::nullopt},
        {CellKind::Time, "14:30", std::nullopt},
        {CellKind::Time, "14:30:00.", std::nullopt},
        {CellKind::DateTime, "2024-03-31 14:30:00", 45382.0 + h1430},
        {CellKind::DateTime, "2024-03-31T14:30:00", 45382.0 + h1430},
        {CellKind::DateTime, "2024-03-31 14:30:00.0000000", 45382.0 + h1430},
        {CellKind::DateTime, "1999-12-31 23:59:59.5", 36525.0 + 86399.5 / 86400.0, true},
        {CellKind::DateTime, "2024-03-31 14:30:00 +02:00", std::nullopt},
        {CellKind::DateTime, "2024-03-31", std::nullopt},
        {CellKind::Number, "2024-03-31", std::nullopt},
        {CellKind::Text, "14:30:00", std::nullopt},
    };
    for (const DateCase& c : cases) {
        const std::optional<SheetDate> got = sheetDate(c.kind, c.text);
        EXPECT_EQ(got.has_value(), c.serial.has_value()) << c.text;
        if (got && c.serial) {
            EXPECT_DOUBLE_EQ(got->serial, *c.serial) << c.text;
            EXPECT_EQ(got->fraction, c.fraction) << c.text;
        }
    }
}

} // namespace
} // namespace tabulon::test
