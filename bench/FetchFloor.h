#pragma once

// The fetch floor: "SELECT * FROM [t];" read through the ODBC C API alone, in blocks bound
// column-wise, with the C types the program's database layer uses (integers as 64-bit,
// floating point as double, everything else as UTF-16 text), and the data thrown away.

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct FetchFloorResult {
    double seconds = 0;           // connect, execute, every block fetched, disconnect
    double cpu = 0;               // processor time of the same
    std::int64_t rows = 0;
    std::int64_t overflowed = 0;  // values longer than their buffer (should be none)
    std::uint64_t blockRows = 0;  // rows per block
};

// The edit floor: one UPDATE of one row found by its key, and its commit, through the ODBC C API
// alone on a connection opened beforehand with autocommit off. Runs `times` updates that add
// and take away one in turn (an even count leaves the row as it was); returns each one's
// seconds.
std::vector<double> measureUpdateFloor(const std::string& connectionString, const std::string& table,
                                       const std::string& column, long long id, int times);

FetchFloorResult measureFetchFloor(const std::string& connectionString, const std::string& table,
                                   std::uint64_t blockRows = 1024);

} // namespace bench
