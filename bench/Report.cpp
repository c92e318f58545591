#include "Report.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bench {

namespace {

const char* const kBegin = "<!-- bench:begin -->";
const char* const kEnd = "<!-- bench:end -->";

std::string printf1(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string count(std::int64_t n)
{
    std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string seconds(double s)
{
    if (s < 0.01)
        return printf1("%.2f ms", s * 1000);
    if (s < 1)
        return printf1("%.0f ms", s * 1000);
    return printf1("%.2f s", s);
}

std::string perSecond(double n)
{
    if (n >= 1e6)
        return printf1("%.2f M", n / 1e6);
    if (n >= 1e3)
        return printf1("%.0f k", n / 1e3);
    return printf1("%.0f", n);
}

std::string megabytes(double bytes) { return printf1(bytes >= 1e8 ? "%.0f MB" : "%.1f MB", bytes / 1e6); }
std::string ratio(double r) { return printf1("%.2f", r); }

// A time with the rows and bytes per second it stands for.
std::string throughput(const SizeFigures& f, const std::string& key, const std::string& bytesKey)
{
    if (!f.has(key))
        return "n/a";
    const double s = f.get(key);
    std::string out = seconds(s);
    if (s > 0) {
        out += " · " + perSecond(double(f.rows) / s) + " rows/s";
        if (f.has(bytesKey))
            out += " · " + printf1("%.0f MB/s", f.get(bytesKey) / s / 1e6);
    }
    return out;
}

struct Line {
    std::string label;
    std::function<std::string(const SizeFigures&)> cell;
    std::function<double(const SizeFigures&)> value; // for the growth column; null: none
    bool judged = true; // the growth target applies (the program's figures, not the baselines)
};

} // namespace

std::string renderMarkdown(const Run& run)
{
    std::ostringstream md;
    const auto& sizes = run.sizes;
    md << "Measured " << run.date << " on " << run.machine.cpus << " CPUs (" << run.machine.cpuModel << "), "
       << printf1("%.1f GB", double(run.machine.memoryBytes) / 1e9) << " memory, " << run.machine.kernel << ".\n"
       << run.versions << "\n\n"
       << "Command: `" << run.command << "` (" << run.reps << " repetitions per figure at the largest size and "
       << run.reps + 2 << " below it, two more for the file exports, measured in turns with their baselines, the "
       << "best kept; the edit is the median of 5; whole run " << printf1("%.0f s", run.totalSeconds) << ").\n\n";

    auto time = [](const std::string& key) {
        return [key](const SizeFigures& f) { return f.has(key) ? seconds(f.get(key)) : std::string("n/a"); };
    };
    auto value = [](const std::string& key) {
        return [key](const SizeFigures& f) { return f.get(key); };
    };
    auto quotient = [](const std::string& a, const std::string& b) {
        return [a, b](const SizeFigures& f) {
            return f.has(a) && f.has(b) && f.get(b) > 0 ? ratio(f.get(a) / f.get(b)) : std::string("n/a");
        };
    };
    auto through = [](const std::string& key, const std::string& bytes) {
        return [key, bytes](const SizeFigures& f) { return throughput(f, key, bytes); };
    };

    const std::vector<Line> lines = {
        {"Fetch floor: ODBC C API alone, block fetch", through("floor_s", ""), value("floor_s"), false},
        {"Row set read alone (no grid; for locating costs)", time("rowset_s"), value("rowset_s"), false},
        {"**Open**: row set + grid shown, scrolled to the last row", through("open_s", ""), value("open_s")},
        {"Open ÷ fetch floor", quotient("open_s", "floor_s"), nullptr},
        {"**Memory** added by the open table (resident)",
         [](const SizeFigures& f) { return f.has("rss_added") ? megabytes(f.get("rss_added")) : "n/a"; },
         value("rss_added")},
        {"Peak resident memory added while opening",
         [](const SizeFigures& f) { return f.has("rss_peak_added") ? megabytes(f.get("rss_peak_added")) : "n/a"; },
         nullptr},
        {"Peak resident memory added by the fetch floor (the driver's own)",
         [](const SizeFigures& f) { return f.has("floor_peak_added") ? megabytes(f.get("floor_peak_added")) : "n/a"; },
         nullptr},
        {"Row set's own count of its bytes",
         [](const SizeFigures& f) { return f.has("rowset_bytes") ? megabytes(f.get("rowset_bytes")) : "n/a"; },
         nullptr},
        {"Table text bytes (size of the TXT export)",
         [](const SizeFigures& f) { return f.has("text_bytes") ? megabytes(f.get("text_bytes")) : "n/a"; },
         value("text_bytes"), false},
        {"Memory ÷ text bytes", quotient("rss_added", "text_bytes"), nullptr},
        {"**Edit** last row until the server has it (median; max)",
         [](const SizeFigures& f) {
             return f.has("edit_ms") ? printf1("%.1f ms", f.get("edit_ms")) + printf1(" (%.1f)", f.get("edit_ms_max"))
                                     : std::string("n/a");
         },
         value("edit_ms")},
        {"  of which leaving the row: UPDATE, read-back, commit, repaint",
         [](const SizeFigures& f) {
             return f.has("edit_leave_ms") ? printf1("%.1f ms", f.get("edit_leave_ms")) : std::string("n/a");
         },
         nullptr},
        {"Edit floor: one UPDATE by key + commit, ODBC C API alone (median)",
         [](const SizeFigures& f) {
             return f.has("edit_floor_ms") ? printf1("%.1f ms", f.get("edit_floor_ms")) : std::string("n/a");
         },
         nullptr},
        {"**TXT** export", through("txt_s", "txt_bytes"), value("txt_s")},
        {"**XML** export", through("xml_s", "xml_bytes"), value("xml_s")},
        {"**CSV** export", through("csv_s", "csv_bytes"), value("csv_s")},
        {"Writing the XML's bytes to a new file, the system alone", through("xmlwrite_s", "xml_bytes"), nullptr},
        {"TXT / XML / CSV export into /dev/null (the export's own work)",
         [](const SizeFigures& f) {
             if (!f.has("txtnull_s"))
                 return std::string("n/a");
             return seconds(f.get("txtnull_s")) + " / " + seconds(f.get("xmlnull_s")) + " / " + seconds(f.get("csvnull_s"));
         },
         nullptr},
        {"`sqlite3 -separator TAB` baseline", through("sqlite3_s", "sqlite3_bytes"), value("sqlite3_s"), false},
        {"TXT ÷ sqlite3", quotient("txt_s", "sqlite3_s"), nullptr},
        {"XML ÷ sqlite3", quotient("xml_s", "sqlite3_s"), nullptr},
        {"CSV ÷ sqlite3", quotient("csv_s", "sqlite3_s"), nullptr},
        {"**Workbook** (XLS action; MB/s of text)", through("xlsx_s", "text_bytes"), value("xlsx_s")},
        {"libxlsxwriter alone, same strings", through("xlsxlib_s", "text_bytes"), value("xlsxlib_s"), false},
        {"Workbook ÷ libxlsxwriter alone", quotient("xlsx_s", "xlsxlib_s"), nullptr},
    };

    const bool growth = sizes.size() >= 2;
    double growthLimit = 0;
    std::string growthHeader;
    if (growth) {
        const double factor = double(sizes.back().rows) / double(sizes[sizes.size() - 2].rows);
        growthLimit = 1.2 * factor;
        growthHeader = count(sizes.back().rows) + " ÷ " + count(sizes[sizes.size() - 2].rows) + " (≤ " +
                       printf1("%g", growthLimit) + ")";
    }

    md << "| Figure |";
    for (const auto& s : sizes)
        md << " " << count(s.rows) << " rows |";
    if (growth)
        md << " " << growthHeader << " |";
    md << "\n|---|";
    for (std::size_t i = 0; i < sizes.size(); ++i)
        md << "---|";
    if (growth)
        md << "---|";
    md << "\n";
    for (const Line& line : lines) {
        md << "| " << line.label << " |";
        for (const auto& s : sizes)
            md << " " << line.cell(s) << " |";
        if (growth) {
            if (line.value) {
                const double a = line.value(sizes[sizes.size() - 2]), b = line.value(sizes.back());
                if (a > 0 && b > 0) {
                    const double g = b / a;
                    md << " " << printf1("%.1f", g) << (g <= growthLimit || !line.judged ? "" : " **MISS**") << " |";
                } else {
                    md << " n/a |";
                }
            } else {
                md << " |";
            }
        }
        md << "\n";
    }
    md << "\nMB = 10^6 bytes. Export MB/s count the bytes of the file written (the workbook: the table's text "
          "bytes, since the file is compressed). The growth limit is held against the program's figures; the "
          "floors, the row set read alone and the baselines are shown beside them for comparison.\n";

    // Targets, at the largest size.
    if (!sizes.empty()) {
        const SizeFigures& f = sizes.back();
        md << "\n### Targets at " << count(f.rows) << " rows\n\n"
           << "| Target | Limit | Measured (wall clock) | Measured ÷ limit | | Same ratio in processor time |\n"
           << "|---|---|---|---|---|---|\n";
        auto row = [&](const std::string& name, const std::string& limitText, double limit, double measured,
                       const std::string& measuredText, const std::string& cpuText = "") {
            const bool known = measured > 0 && limit > 0;
            md << "| " << name << " | " << limitText << " | " << measuredText << " | "
               << (known ? ratio(measured / limit) : std::string("n/a")) << " | "
               << (!known ? "n/a" : measured <= limit ? "met" : "**missed**") << " | " << cpuText << " |\n";
        };
        auto q = [&](const std::string& a, const std::string& b) {
            return f.has(a) && f.has(b) && f.get(b) > 0 ? f.get(a) / f.get(b) : 0.0;
        };
        auto both = [&](const std::string& a, const std::string& b, const std::string& name, const std::string& limitText,
                        double limit) {
            const double cpu = q(a + "_cpu", b + "_cpu");
            row(name, limitText, limit, q(a + "_s", b + "_s"), ratio(q(a + "_s", b + "_s")) + " ×",
                cpu > 0 ? ratio(cpu) + " ×" + (cpu <= limit ? "" : " (over)") : std::string("n/a"));
        };
        both("open", "floor", "Open ≤ 1.25 × fetch floor", "1.25", 1.25);
        row("Memory ≤ 2 × text bytes", "2", 2.0, q("rss_added", "text_bytes"), ratio(q("rss_added", "text_bytes")) + " ×");
        row("Edit of the last row ≤ 50 ms", "50 ms", 50.0, f.get("edit_ms"), printf1("%.1f ms", f.get("edit_ms")));
        both("txt", "sqlite3", "TXT ≤ 0.5 × sqlite3", "0.5", 0.5);
        both("xml", "sqlite3", "XML ≤ 0.5 × sqlite3", "0.5", 0.5);
        both("csv", "sqlite3", "CSV ≤ 0.5 × sqlite3", "0.5", 0.5);
        both("xlsx", "xlsxlib", "Workbook ≤ 1.5 × libxlsxwriter alone", "1.5", 1.5);
        if (growth) {
            const SizeFigures& p = sizes[sizes.size() - 2];
            std::string worstName;
            double worst = 0;
            for (const Line& line : lines) {
                if (!line.value || !line.judged)
                    continue;
                const double a = line.value(p), b = line.value(f);
                if (a > 0 && b > 0 && b / a > worst) {
                    worst = b / a;
                    worstName = line.label;
                }
            }
            row("Growth ≤ " + printf1("%g", growthLimit) + " × for every figure (worst: " + worstName + ")",
                printf1("%g", growthLimit), growthLimit, worst, printf1("%.1f ×", worst));
        }
        if (!run.catalogue.empty()) {
            const double fill = run.catalogue.count("catalogue_s") ? run.catalogue.at("catalogue_s") : 0;
            const double tables = run.catalogue.count("catalogue_tables") ? run.catalogue.at("catalogue_tables") : 0;
            row("Catalogue of " + count(std::int64_t(tables)) + " tables ≤ 1 s (chooser filled, then shown)", "1 s", 1.0,
                fill, seconds(fill));
            // The refill of a shown list: measured on the full catalogue when the smaller one
            // promised it stays short, else carried over from the smaller one (at worst quadratic).
            if (run.catalogue.count("catalogue_refill_s")) {
                const double refill = run.catalogue.at("catalogue_refill_s");
                row("Catalogue of " + count(std::int64_t(tables)) +
                        " tables refilled while the chooser shows (after Create New Table) ≤ 1 s",
                    "1 s", 1.0, refill, seconds(refill));
            } else {
                for (const auto& [key, value] : run.catalogue) {
                    if (key.rfind("refill_", 0) != 0 || tables <= 0)
                        continue;
                    const int n = std::stoi(key.substr(7));
                    const double projected = value * (tables / double(n)) * (tables / double(n));
                    row("Catalogue refilled while the chooser shows: " + count(n) + " tables took " + seconds(value) +
                            "; " + count(std::int64_t(tables)) + " tables not measured, projected as the square",
                        "1 s", 1.0, projected, "≈ " + seconds(projected));
                }
            }
        }
    }
    if (!run.catalogue.empty()) {
        const auto get = [&](const char* k) { return run.catalogue.count(k) ? run.catalogue.at(k) : 0.0; };
        md << "\nCatalogue: " << count(std::int64_t(get("catalogue_items"))) << " of "
           << count(std::int64_t(get("catalogue_tables"))) << " tables listed";
        for (const auto& [key, value] : run.catalogue)
            if (key.rfind("refill_", 0) == 0)
                md << "; " << count(std::stoi(key.substr(7))) << " tables refilled while shown in " << seconds(value);
        md << ".\n";
    }
    if (!run.notes.empty()) {
        md << "\nProblems met while measuring:\n\n";
        for (const std::string& n : run.notes)
            md << "- " << n << "\n";
    }
    return md.str();
}

void writeResults(const std::string& path, const std::string& markdown)
{
    std::string before = "# Big-table benchmark results\n\nWritten by `tabulon-bench`; the text between the "
                         "markers is replaced by each run, the rest is kept.\n\n";
    std::string after = "\n";
    {
        std::ifstream in(path);
        if (in) {
            std::stringstream ss;
            ss << in.rdbuf();
            const std::string old = ss.str();
            const auto b = old.find(kBegin), e = old.find(kEnd);
            if (b != std::string::npos && e != std::string::npos && e > b) {
                before = old.substr(0, b);
                after = old.substr(e + std::string(kEnd).size());
            } else if (!old.empty()) {
                after = "\n" + old; // keep what was there, below the new figures
            }
        }
    }
    std::ofstream out(path, std::ios::trunc);
    out << before << kBegin << "\n" << markdown << kEnd << after;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

} // namespace bench
