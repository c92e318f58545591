#pragma once

// The benchmark's figures, the ratios against the targets, and their Markdown form (printed
// and written to bench/RESULTS.md).

#include "BenchSupport.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bench {

// One measured size: every figure by its key, as the measuring process reported it. Times end
// in _s (wall clock, the best repetition) with _cpu beside them (processor time); memory and
// file sizes in bytes:
//   floor, rowset, open, txt, xml, csv, txtnull, xmlnull, csvnull, xmlwrite, sqlite3, xlsx,
//   xlsxlib (times); floor_peak_added, rss_added, rss_peak_added, rowset_bytes, text_bytes,
//   *_bytes of each file; edit_ms, edit_ms_max, edit_jump_ms, edit_type_ms, edit_enter_ms,
//   edit_leave_ms, edit_floor_ms; errors (message boxes shown)
struct SizeFigures {
    std::int64_t rows = 0;
    std::map<std::string, double> v;
    bool has(const std::string& key) const { return v.count(key) > 0; }
    double get(const std::string& key) const
    {
        const auto it = v.find(key);
        return it == v.end() ? 0.0 : it->second;
    }
};

struct Run {
    Machine machine;
    std::string date;
    std::string command;
    std::string versions; // SQLite, drivers, Qt
    int reps = 0;
    double totalSeconds = 0;
    std::vector<SizeFigures> sizes;     // ascending
    // catalogue_s, catalogue_refill_s, catalogue_items, catalogue_tables, refill_<tables>_s
    std::map<std::string, double> catalogue;
    std::vector<std::string> notes;     // problems met while measuring
};

// The figures table, the targets table and the run's particulars, as Markdown.
std::string renderMarkdown(const Run& run);

// Writes the rendering into `path` between the markers <!-- bench:begin --> and
// <!-- bench:end -->, keeping whatever the file holds outside them (the written analysis).
void writeResults(const std::string& path, const std::string& markdown);

} // namespace bench
