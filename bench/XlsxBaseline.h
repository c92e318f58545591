#pragma once

// The workbook baseline: the cell texts of a tab-delimited export written into an .xlsx with
// libxlsxwriter alone, with the options the program uses (constant memory, ZIP64). The file is
// read and split before the clock starts, so only the library's work is timed.

#include <cstdint>
#include <string>

namespace bench {

struct XlsxBaselineResult {
    double seconds = 0;
    double cpu = 0;
    std::uint64_t bytes = 0; // the workbook's size
    long long cells = 0;     // non-empty cells written
};

XlsxBaselineResult measureXlsxBaseline(const std::string& tabFile, const std::string& workbookPath);

} // namespace bench
