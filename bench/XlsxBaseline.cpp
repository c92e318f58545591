#include "XlsxBaseline.h"

#include "BenchSupport.h"

#include <xlsxwriter.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace bench {

XlsxBaselineResult measureXlsxBaseline(const std::string& tabFile, const std::string& workbookPath)
{
    // Every field of the text file ends in a TAB and every line in CR LF: cut them into
    // NUL-terminated strings in place.
    std::string text;
    {
        std::ifstream in(tabFile, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read " + tabFile);
        std::ostringstream ss;
        ss << in.rdbuf();
        text = ss.str();
    }
    struct Cell {
        std::uint32_t row;
        std::uint16_t column;
        const char* utf8;
    };
    std::vector<Cell> cells;
    cells.reserve(text.size() / 8);
    std::uint32_t row = 0;
    std::uint16_t column = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\t') {
            text[i] = '\0';
            if (i > start)
                cells.push_back({row, column, text.data() + start});
            ++column;
            start = i + 1;
        } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            text[i] = '\0';
            ++i;
            ++row;
            column = 0;
            start = i + 1;
        }
    }

    XlsxBaselineResult result;
    removeFile(workbookPath);
    Clock clock;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(workbookPath.c_str(), &options);
    if (!workbook)
        throw std::runtime_error("libxlsxwriter could not create " + workbookPath);
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    for (const Cell& c : cells) {
        if (worksheet_write_string(sheet, c.row, c.column, c.utf8, nullptr) != LXW_NO_ERROR)
            throw std::runtime_error("libxlsxwriter refused a cell");
    }
    if (workbook_close(workbook) != LXW_NO_ERROR)
        throw std::runtime_error("libxlsxwriter could not write " + workbookPath);
    const Timing t = clock.elapsed();
    result.seconds = t.wall;
    result.cpu = t.cpu;
    result.bytes = fileSize(workbookPath);
    result.cells = static_cast<long long>(cells.size());
    return result;
}

} // namespace bench
