#include "ValuePrinters.h"
#include "schema/SchemaCheck.h"

#include <gtest/gtest.h>

namespace tabulon {
namespace {

// After a CREATE TABLE or ADD, the made object is looked up by name the way the server matches
// names: a table the server made must never be reported missing because the catalogue spells
// its name another way, and a name the driver rewrote must still be caught.
struct NameCase {
    const char* label;
    QString wanted;
    QString listed;
    bool sqlite;    // SQLite: A to Z in any case, anything else only itself
    bool sqlServer; // SQL Server's default collations: any case, trailing blanks ignored
};
void PrintTo(const NameCase& c, std::ostream* out) { *out << c.label; }

class NameMatchingCases : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameMatchingCases, AsTheServerMatchesNames)
{
    const NameCase& c = GetParam();
    EXPECT_EQ(sameName(NameMatching::Sqlite, c.wanted, c.listed), c.sqlite);
    EXPECT_EQ(sameName(NameMatching::SqlServer, c.wanted, c.listed), c.sqlServer);
    // the same either way round
    EXPECT_EQ(sameName(NameMatching::Sqlite, c.listed, c.wanted), c.sqlite);
    EXPECT_EQ(sameName(NameMatching::SqlServer, c.listed, c.wanted), c.sqlServer);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameMatchingCases,
    ::testing::Values(
        NameCase{"exact", "Orders", "Orders", true, true},
        NameCase{"lower_cased_by_the_catalogue", "Orders", "orders", true, true},
        NameCase{"upper_cased", "Orders", "ORDERS", true, true},
        NameCase{"punctuation_kept", "a;b'c\"d--e", "A;B'C\"D--E", true, true},
        // Babelfish lower-cases A to Z only; SQL Server folds every letter, SQLite none beyond Z.
        NameCase{"non_ascii_letters_as_listed", "Größe É", "größe É", true, true},
        NameCase{"non_ascii_letters_in_another_case", "Größe É", "größe é", false, true},
        NameCase{"trailing_blanks", "Orders ", "Orders", false, true},
        NameCase{"leading_blanks_count", " Orders", "Orders", false, false},
        NameCase{"inner_blanks_count", "Ord ers", "Orders", false, false},
        NameCase{"braces_read_as_an_escape", "{a}=b", "=b", false, false},
        NameCase{"another_name", "Orders", "Orders2", false, false},
        NameCase{"blanks_only", "  ", "  ", true, true},
        NameCase{"accents_count", "Cafe", "Café", false, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(NameMatchingOf, TheServerADriverReports)
{
    EXPECT_EQ(nameMatchingFor("SQLite"), NameMatching::Sqlite);
    EXPECT_EQ(nameMatchingFor("Microsoft SQL Server"), NameMatching::SqlServer);
}

} // namespace
} // namespace tabulon
