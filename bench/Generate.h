#pragma once

// The benchmark's databases, written straight through SQLite (not through the program).

#include <cstdint>
#include <string>

namespace bench {

// The table name and its eight columns: integer key, two short texts, a decimal, an integer,
// a date-time, a longer text (NULL in every tenth row) and a bit.
inline constexpr const char* kTable = "t";

// Creates `path` (replacing it) with table `t` of `rows` rows, synced to disk. Returns seconds
// taken.
double generateTable(const std::string& path, std::int64_t rows);
void generateRows(const std::string& path, std::int64_t rows);

// Creates `path` (replacing it) with `tables` small tables of two columns each.
double generateCatalogue(const std::string& path, int tables);

// The first column of the first row of `sql` as text; empty when there is no row.
std::string queryText(const std::string& path, const std::string& sql);

} // namespace bench
