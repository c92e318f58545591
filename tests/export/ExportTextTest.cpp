#include "export/ExportText.h"

#include <gtest/gtest.h>

using namespace tabulon::exporttext;

namespace {

struct NameCase {
    const char* caption;
    const char* element;
};

class XmlElementNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(XmlElementNameTest, EncodesWhatIsNotAnXmlName)
{
    EXPECT_EQ(xmlElementName(QString::fromUtf8(GetParam().caption)), GetParam().element);
}

INSTANTIATE_TEST_SUITE_P(
    Names, XmlElementNameTest,
    ::testing::Values(NameCase{"id", "id"}, NameCase{"Order Date", "Order_x0020_Date"},
                      NameCase{"1st", "_x0031_st"}, NameCase{"a1-b.c_d", "a1-b.c_d"},
                      NameCase{"-x", "_x002D_x"}, NameCase{"a&b<c>", "a_x0026_b_x003C_c_x003E_"},
                      NameCase{"ns:tag", "ns_x003A_tag"}, NameCase{"Größe", "Größe"},
                      NameCase{"名前", "名前"}, NameCase{"_x0041_", "_x005F_x0041_"},
                      NameCase{"_x12", "_x005F_x12"}, NameCase{"a\"b'c", "a_x0022_b_x0027_c"},
                      NameCase{"smile\xF0\x9F\x98\x80", "smile\xF0\x9F\x98\x80"},
                      NameCase{"p\xF3\xB0\x80\x80", "p_x000F0000_"}, NameCase{"", "_"}));

struct TextCase {
    const char* before; // what was appended
    const char* after;  // what it must become
};

class XmlTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(XmlTextTest, EscapesOnlyTheAppendedText)
{
    std::string text = "<kept>&";
    const std::size_t from = text.size();
    text += GetParam().before;
    escapeXmlTextFrom(text, from);
    EXPECT_EQ(text, std::string("<kept>&") + GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Texts, XmlTextTest,
                         ::testing::Values(TextCase{"plain", "plain"}, TextCase{"", ""},
                                           TextCase{"a & b < c > d", "a &amp; b &lt; c &gt; d"},
                                           TextCase{"\"quoted\" 'single'", "\"quoted\" 'single'"},
                                           TextCase{"tab\there\nline", "tab\there\nline"},
                                           TextCase{"cr\r\nlf", "cr&#13;\nlf"},
                                           TextCase{"bell\x07!", "bell\xEF\xBF\xBD!"},
                                           TextCase{"\xEF\xBF\xBF", "\xEF\xBF\xBD"},
                                           TextCase{"Größe €", "Größe €"},
                                           TextCase{"\xEF\xBC\x9C", "\xEF\xBC\x9C"}));

struct CsvCase {
    const char* field;
    bool alone;
    const char* written;
};

class CsvFieldTest : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvFieldTest, QuotesWhatNeedsQuoting)
{
    std::string text = "x,";
    const std::size_t from = text.size();
    text += GetParam().field;
    quoteCsvFieldFrom(text, from, GetParam().alone);
    EXPECT_EQ(text, std::string("x,") + GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Fields, CsvFieldTest,
                         ::testing::Values(CsvCase{"plain", false, "plain"}, CsvCase{"", false, ""},
                                           CsvCase{"", true, "\"\""},
                                           CsvCase{"a,b", false, "\"a,b\""},
                                           CsvCase{"say \"hi\"", false, "\"say \"\"hi\"\"\""},
                                           CsvCase{"two\r\nlines", false, "\"two\r\nlines\""},
                                           CsvCase{"lf\n", false, "\"lf\n\""},
                                           CsvCase{" spaced ", false, " spaced "},
                                           CsvCase{"tab\there", false, "tab\there"}));

TEST(DisplayWidthTest, TheLongestLineCounts)
{
    EXPECT_DOUBLE_EQ(displayWidth(""), 0.0);
    EXPECT_DOUBLE_EQ(displayWidth("0123456789"), 10.0);
    EXPECT_DOUBLE_EQ(displayWidth("12\n12345\r\n1"), 5.0);
    EXPECT_DOUBLE_EQ(displayWidth("名前"), 4.0);
    EXPECT_LT(displayWidth("iiii"), displayWidth("0000"));
    EXPECT_GT(displayWidth("WWWW"), displayWidth("0000"));
}

} // namespace

namespace {

// Every position in texts of every length up to a few words: the fast scan skips plain words
// and must still find a character to escape wherever it stands, also after a TAB (a control
// character that needs no escaping) earlier in the same word.
TEST(ScanTest, FindsWhatNeedsEscapingAtEveryPosition)
{
    struct Special {
        std::string xmlIn, xmlOut;
    };
    const Special xmlSpecials[] = {{"&", "&amp;"},
                                   {"<", "&lt;"},
                                   {">", "&gt;"},
                                   {"\r", "&#13;"},
                                   {"\x01", "\xEF\xBF\xBD"},
                                   {"\xEF\xBF\xBE", "\xEF\xBF\xBD"}};
    const std::string csvSpecials[] = {",", "\"", "\r", "\n"};
    for (const std::string& prefix : {std::string(), std::string("\t")}) {
        for (std::size_t length = 0; length <= 24; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                const std::string before = prefix + std::string(at, 'a');
                const std::string after(length - at, 'b');
                for (const Special& s : xmlSpecials) {
                    std::string text = "<x>";
                    text += before + s.xmlIn + after;
                    escapeXmlTextFrom(text, 3);
                    EXPECT_EQ(text, "<x>" + before + s.xmlOut + after) << length << " " << at;
                }
                for (const std::string& c : csvSpecials) {
                    std::string text = "x,";
                    const std::string field = before + c + after;
                    text += field;
                    quoteCsvFieldFrom(text, 2, false);
                    const std::string doubled = c == "\"" ? "\"\"" : c;
                    EXPECT_EQ(text, "x,\"" + before + doubled + after + "\"")
                        << length << " " << at;
                }
                std::string plain = "<x>" + before + after;
                escapeXmlTextFrom(plain, 3);
                EXPECT_EQ(plain, "<x>" + before + after);
            }
        }
    }
}

} // namespace

namespace {

TEST(EscapeXmlTextsTest, EscapesTheMarkedTextsAndLeavesTheTagsBetween)
{
    struct Case {
        std::vector<std::string> cells;
        std::string expected;
    };
    const Case cases[] = {
        {{"1", "Ann", "x"}, "<r><a>1</a><b>Ann</b><c>x</c></r>"},
        {{"1", "A&B", "x<y"}, "<r><a>1</a><b>A&amp;B</b><c>x&lt;y</c></r>"},
        {{"a > b", "", "\r"}, "<r><a>a &gt; b</a><b></b><c>&#13;</c></r>"},
        {{"plain text longer than sixteen bytes", "more plain text here, also long", "&"},
         "<r><a>plain text longer than sixteen bytes</a><b>more plain text here, also "
         "long</b><c>&amp;</c></r>"},
    };
    for (const Case& c : cases) {
        std::string text = "<r>";
        std::vector<TextRange> ranges;
        const char* names[] = {"a", "b", "c"};
        for (std::size_t i = 0; i < c.cells.size(); ++i) {
            text += std::string("<") + names[i] + ">";
            const std::size_t from = text.size();
            text += c.cells[i];
            ranges.push_back({from, text.size()});
            text += std::string("</") + names[i] + ">";
        }
        text += "</r>";
        escapeXmlTexts(text, ranges);
        EXPECT_EQ(text, c.expected);
    }
}

} // namespace
