// Cells on the clipboard in the form spreadsheets copy and paste them.

#include "tables/DataGridClipboard.h"

#include <gtest/gtest.h>

namespace tabulon {
namespace {

using Rows = std::vector<QStringList>;

TEST(ClipboardCells, RoundTripKeepsEveryField)
{
    const Rows rows{{"plain", "", "tab\there", "line\nbreak"},
                    {"\"quoted\" start", "in\"side", "cr\r\nlf", QStringLiteral("\u03A9\U0001F600")},
                    {"", "", "", ""}};
    const QString text = formatClipboardCells(rows);
    EXPECT_EQ(parseClipboardCells(text), rows);
    EXPECT_TRUE(text.startsWith("plain\t\t\"tab\there\"\t\"line\nbreak\"\n")) << text.toStdString();
}

TEST(ClipboardCells, ReadsWhatSpreadsheetsWrite)
{
    struct Case {
        QString text;
        Rows rows;
    };
    for (const Case& c : {
             Case{"a\tb\r\nc\td\r\n", {{"a", "b"}, {"c", "d"}}},
             Case{"a\tb\nc\td", {{"a", "b"}, {"c", "d"}}},
             Case{"single", {{"single"}}},
             Case{"a\t\n\tb\n", {{"a", ""}, {"", "b"}}},
             Case{"\"multi\nline\"\tx\n", {{"multi\nline", "x"}}},
             Case{"\"a \"\"q\"\"\"\tb", {{"a \"q\"", "b"}}},
             Case{"5\" pipe\tx", {{"5\" pipe", "x"}}},
             Case{"\"open only\tx", {{"\"open only", "x"}}},
             Case{"\n", {{""}}},
             Case{"", {}},
         }) {
        EXPECT_EQ(parseClipboardCells(c.text), c.rows) << c.text.toStdString();
    }
}

} // namespace
} // namespace tabulon
