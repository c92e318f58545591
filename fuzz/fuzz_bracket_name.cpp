// Bracket quoting of names. For every name, a reader of T-SQL's bracketed identifiers reads back
// from "SELECT * FROM [name];" exactly the name and then only ";". For names SQLite can hold
// (no "]", which SQLite cannot read doubled, and no NUL), SQLite parses the statement as exactly
// one statement that reads exactly the table of that name, and no other.

#include "FuzzSupport.h"

#include "connection/SqlNames.h"

#include <sqlite3.h>

#include <set>

namespace {

using tabulon::fuzz::show;

// Reads a T-SQL bracketed identifier starting at `at` ("[" ... "]", "]]" standing for "]").
// Returns the name and moves `at` past the closing bracket; fails on anything else.
QString readBracketed(const QString& text, qsizetype& at)
{
    FUZZ_REQUIRE(at < text.size() && text[at] == QLatin1Char('['), "the name does not start with [");
    QString name;
    for (++at;; ++at) {
        FUZZ_REQUIRE(at < text.size(), "the name has no closing ]");
        if (text[at] != QLatin1Char(']')) {
            name += text[at];
            continue;
        }
        if (at + 1 < text.size() && text[at + 1] == QLatin1Char(']')) {
            name += QLatin1Char(']');
            ++at;
            continue;
        }
        ++at;
        return name;
    }
}

int collectTables(void* tables, int action, const char* table, const char*, const char*, const char*)
{
    if (action == SQLITE_READ && table)
        static_cast<std::set<std::string>*>(tables)->insert(table);
    return SQLITE_OK;
}

// SQLite's own quoting, for making the table ("..." with '"' doubled).
std::string sqliteQuoted(const std::string& name)
{
    std::string q = "\"";
    for (const char c : name) {
        q += c;
        if (c == '"')
            q += '"';
    }
    return q + "\"";
}

void checkWithSqlite(const QString& name, const QString& statement)
{
    const std::string utf8 = name.toStdString();
    sqlite3* db = nullptr;
    FUZZ_REQUIRE(sqlite3_open(":memory:", &db) == SQLITE_OK, "no SQLite database");
    const std::string create = "CREATE TABLE " + sqliteQuoted(utf8) + " (c INT);";
    if (sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db); // a name SQLite keeps for itself ("sqlite_..."): nothing to compare with
        return;
    }
    std::set<std::string> tables;
    sqlite3_set_authorizer(db, collectTables, &tables);
    const std::string sql = statement.toStdString();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &stmt, &tail);
    FUZZ_REQUIRE(rc == SQLITE_OK, "SQLite refused " + show(statement) + ": " + sqlite3_errmsg(db));
    FUZZ_REQUIRE(tail == sql.c_str() + sql.size(), "more than one statement in " + show(statement));
    FUZZ_REQUIRE(tables == std::set<std::string>{utf8}, "the statement reads another table than " + show(name));
    FUZZ_REQUIRE(sqlite3_column_count(stmt) == 1, "the statement reads other columns");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString statement = tabulon::selectAllStatement(name);

    // T-SQL reads it back exactly.
    const QString head = QStringLiteral("SELECT * FROM ");
    FUZZ_REQUIRE(statement.startsWith(head), "the statement does not start with SELECT * FROM");
    qsizetype at = head.size();
    const QString read = readBracketed(statement, at);
    FUZZ_REQUIRE(read == name, "read back " + show(read) + " for " + show(name));
    FUZZ_REQUIRE(statement.mid(at) == QStringLiteral(";"), "after the name: " + show(statement.mid(at)));
    FUZZ_REQUIRE(tabulon::bracketName(name) == statement.mid(head.size(), at - head.size()), "bracketName differs");

    // A name without "]" is given unchanged between the brackets.
    if (!name.contains(QLatin1Char(']'))) {
        FUZZ_REQUIRE(statement == head + QLatin1Char('[') + name + QStringLiteral("];"), "a plain name was changed");
        if (!name.contains(QChar(0)))
            checkWithSqlite(name, statement);
    }
    return 0;
}
