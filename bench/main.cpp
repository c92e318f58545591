// tabulon-bench: opens, edits and exports generated tables of 10,000, 100,000 and 1,000,000 rows
// through the program's own code, holds each figure against its baseline measured in the same
// run, and writes the figures to bench/RESULTS.md.
//
// The driving process generates the databases and starts one fresh measuring process per table
// size (and one for the catalogue), so that every resident-memory figure starts from a clean
// process and one size's heap does not flatter the next. Every process reaches the database
// through the driver name "SQL Server" mapped to the SQLite ODBC driver, as the tests do.

#include "BenchSupport.h"
#include "FetchFloor.h"
#include "Generate.h"
#include "Report.h"
#include "XlsxBaseline.h"

#include "app/AppContext.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "connection/ConnectionString.h"
#include "connection/odbc/Odbc.h"
#include "export/ExportActions.h"
#include "export/ExportProgress.h"
#include "export/GridWriters.h"
#include "tables/DataGrid.h"
#include "tables/Form2.h"
#include "tables/Form3.h"
#include "tables/RowSet.h"
#include "tables/RowSetModel.h"
#include "tables/TableCatalogue.h"

#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QtGlobal>
#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <unistd.h>

#ifndef TABULON_BENCH_RESULTS
#define TABULON_BENCH_RESULTS "bench/RESULTS.md"
#endif

namespace {

using bench::Stopwatch;

// ---------------------------------------------------------------------------------------------
// The seams: nothing is shown to a person and nothing is launched. Any message box is a problem
// the run reports.

class BenchPrompter : public tabulon::Prompter {
public:
    tabulon::MessageAnswer show(const tabulon::Message& m) override
    {
        ++shown;
        last = m.text.toStdString();
        std::fprintf(stderr, "  message box: %s\n", last.c_str());
        std::printf("NOTE message box: %s\n", QString::fromStdString(last).simplified().toStdString().c_str());
        std::fflush(stdout);
        switch (m.buttons) {
        case tabulon::MessageButtons::YesNo:
        case tabulon::MessageButtons::YesNoCancel: return tabulon::MessageAnswer::No;
        case tabulon::MessageButtons::OkCancel: return tabulon::MessageAnswer::Cancel;
        default: return tabulon::MessageAnswer::Ok;
        }
    }
    int shown = 0;
    std::string last;
};

class NoFiles : public tabulon::FileChooser {
public:
    QString chooseSaveFile(const QString&, const QString&, const QString&) override { return {}; }
    QString documentsFolder() override { return QDir::tempPath(); }
};

// Finds a "spreadsheet program" and records the start instead of starting it.
class RecordingLauncher : public tabulon::Launcher {
public:
    bool openUrl(const QUrl&) override { return false; }
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        lastProgram = program;
        lastArguments = arguments;
        return true;
    }
    QString findProgram(const QString& name) override
    {
        return name == QLatin1String("localc") ? QStringLiteral("/usr/bin/true") : QString();
    }
    QString lastProgram;
    QStringList lastArguments;
};

class NoPrinters : public tabulon::Printers {
public:
    std::vector<tabulon::PrinterInfo> installed() override { return {}; }
    QString defaultPrinter() override { return {}; }
    QString printText(const tabulon::TextPrintJob&) override { return QStringLiteral("no printer"); }
};

class FixedRandom : public tabulon::Random {
public:
    void seedFromTimeOfDay() override {}
    double next() override { return 0.5; }
};

class FileLogin : public tabulon::LoginSource {
public:
    explicit FileLogin(const std::string& database)
    {
        fields_.local = true;
        fields_.server = QStringLiteral("localhost");
        fields_.database = QString::fromStdString(database);
    }
    tabulon::LoginFields loginFields() const override { return fields_; }

private:
    tabulon::LoginFields fields_;
};

struct Seams {
    BenchPrompter prompter;
    NoFiles files;
    RecordingLauncher launcher;
    NoPrinters printers;
    FixedRandom random;
    tabulon::AppContext ctx{prompter, files, launcher, printers, random};
};

// ---------------------------------------------------------------------------------------------
// What a measuring process hands back: "RESULT key value" and "NOTE text" lines on stdout.

void result(const std::string& key, double value)
{
    std::printf("RESULT %s %.9g\n", key.c_str(), value);
    std::fflush(stdout);
}

void note(const std::string& text)
{
    std::printf("NOTE %s\n", text.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "  NOTE: %s\n", text.c_str());
}

void step(const std::string& what)
{
    std::fprintf(stderr, "  %s\n", what.c_str());
}

double best(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

// The repetitions of one figure: the best wall-clock time and the best processor time.
struct Series {
    std::vector<double> wall, cpu;
    void add(const bench::Timing& t)
    {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    void add(double w, double c) { add(bench::Timing{w, c}); }
    bool empty() const { return wall.empty(); }
    double bestWall() const { return best(wall); }
    void report(const std::string& key) const
    {
        if (wall.empty())
            return;
        result(key + "_s", best(wall));
        result(key + "_cpu", best(cpu));
    }
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------------------------
// One table size, in its own process.

int measureSize(const std::string& db, const std::string& work, std::int64_t rows, int reps,
                const std::string& phases)
{
    // For profiling one part alone, a comma-separated list of "read", "edit", "export" (or one of
    // "txt", "xml", "csv", "sqlite3") and "workbook"; "all" by default. The table is opened once
    // whatever is asked, since the other parts work on the open grid.
    auto want = [&](const char* phase) {
        return phases.empty() || phases == "all" ||
               ("," + phases + ",").find(std::string(",") + phase + ",") != std::string::npos;
    };
    Seams seams;
    tabulon::AppContext& ctx = seams.ctx;
    ctx.programDir = QCoreApplication::applicationDirPath();
    ctx.currentTable = QString::fromLatin1(bench::kTable);
    const FileLogin login(db);
    const std::string cs = bench::connectionStringFor(db);

    // The figures that are compared with each other are measured in turns, repetition by
    // repetition, so that a change in the machine's load touches both sides of a ratio alike;
    // the best of the repetitions is kept.

    // ---- Reading: the fetch floor, the open, and the row set alone.
    tabulon::Form3 form(ctx, login);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        note("the editor window was not exposed");
    form.activateWindow();
    (void)QTest::qWaitForWindowActive(&form, 1000);
    settle();
    tabulon::DataGrid* grid = form.DataGrid1;
    {
        Series floor, open, alone;
        const int readReps = want("read") ? reps : 1;
        for (int r = 0; r < readReps; ++r) {
            if (want("read")) {
                bench::releaseFreeMemory();
                const std::uint64_t floorBefore = bench::residentBytes();
                bench::resetPeakResident();
                const bench::FetchFloorResult f = bench::measureFetchFloor(cs, bench::kTable);
                if (r == 0)
                    result("floor_peak_added", double(bench::peakResidentBytes()) - double(floorBefore));
                floor.add(f.seconds, f.cpu);
                if (f.rows != rows)
                    note("fetch floor read " + std::to_string(f.rows) + " rows, not " + std::to_string(rows));
                if (f.overflowed)
                    note("fetch floor: " + std::to_string(f.overflowed) + " values longer than their buffers");
            }

            // Open: the editor window opens the table as the chooser's "Next >" does, then shows
            // the last row. The first open also gives the memory figure.
            if (r > 0) {
                grid->clear();
                settle();
            }
            bench::releaseFreeMemory();
            const std::uint64_t before = bench::residentBytes();
            bench::resetPeakResident();
            bench::Clock clock;
            tabulon::Handler h(ctx, tabulon::loc::Form3_Load);
            form.openTableConnection(h);
            form.readOpenedTable(h);
            const tabulon::RowSetModel& model = grid->rowSetModel();
            const int last = int(model.dataRowCount()) - 1;
            grid->scrollTo(model.index(std::max(last, 0), 0), QAbstractItemView::PositionAtBottom);
            QCoreApplication::processEvents();
            form.repaint();
            open.add(clock.elapsed());
            if (r == 0) {
                result("rss_added", double(bench::residentBytes()) - double(before));
                result("rss_peak_added", double(bench::peakResidentBytes()) - double(before));
                if (grid->rowSet())
                    result("rowset_bytes", double(grid->rowSet()->memoryBytes()));
            }
            if (model.dataRowCount() != rows)
                note("the grid shows " + std::to_string(model.dataRowCount()) + " rows, not " + std::to_string(rows));
            if (h.failures())
                note("opening the table reported " + std::to_string(h.failures()) + " errors");

            if (!want("read"))
                break;
            // The row set alone, without any window: where the open's time goes.
            clock.restart();
            std::unique_ptr<tabulon::RowSet> set =
                tabulon::RowSet::open(odbc::Connection::open(cs), ctx.currentTable);
            alone.add(clock.elapsed());
            if (set->rowCount() != rows)
                note("row set read " + std::to_string(set->rowCount()) + " rows, not " + std::to_string(rows));
            set.reset();
            bench::releaseFreeMemory();
        }
        if (want("read")) {
            floor.report("floor");
            open.report("open");
            alone.report("rowset");
            step("fetch floor " + std::to_string(floor.bestWall()) + " s, open " + std::to_string(open.bestWall()) +
                 " s, row set alone " + std::to_string(alone.bestWall()) + " s");
        }
    }

    // ---- Quick filter (only when "filter" is asked for by name): Ctrl+F's box over the open
    // table, from the text typed to the rows shown, for a text found nowhere (every cell looked
    // at), one found in a single row, one found in most rows, and clearing it.
    if (("," + phases + ",").find(",filter,") != std::string::npos) {
        const struct {
            const char* key;
            QString text;
        } texts[] = {
            {"filter_none", QStringLiteral("no such text")},
            {"filter_one", QStringLiteral("C%1").arg(rows / 2, 7, 10, QLatin1Char('0'))},
            {"filter_most", QStringLiteral("e")},
            {"filter_clear", QString()},
        };
        for (const auto& t : texts) {
            Series series;
            for (int r = 0; r < reps; ++r) {
                if (!t.text.isEmpty() && r > 0) { // from the whole table each time
                    form.FilterBox->setText(QString());
                    form.applyFilter();
                }
                if (t.text.isEmpty()) { // clearing starts from a filtered grid
                    form.FilterBox->setText(QStringLiteral("e"));
                    form.applyFilter();
                }
                settle();
                bench::Clock clock;
                form.FilterBox->setText(t.text);
                form.applyFilter();
                QCoreApplication::processEvents();
                series.add(clock.elapsed());
            }
            series.report(t.key);
            step(std::string(t.key) + ": " + std::to_string(series.bestWall()) + " s, " +
                 std::to_string(grid->rowSetModel().shownRowCount()) + " rows shown");
        }
        form.FilterBox->setText(QString());
        form.applyFilter();
    }

    // ---- Edit: jump to the last row, type a new code, press Enter, leave the row upwards; the
    // row is written as it is left. The server's value is checked afterwards.
    if (want("edit")) {
        tabulon::RowSetModel& model = grid->rowSetModel();
        const int last = int(model.dataRowCount()) - 1;
        const int codeColumn = 1;
        const long long id = grid->rowSet()->stored(last, 0).integer;
        std::vector<double> t, jump, type, enter, leave;
        for (int k = 0; k < 5; ++k) {
            char value[16];
            std::snprintf(value, sizeof value, "E%07d", int((rows + k) % 10000000));
            settle();
            Stopwatch clock, part;
            grid->setFocus();
            const QModelIndex target = model.index(last, codeColumn);
            grid->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
            grid->scrollTo(target);
            QTest::keyClick(grid, value[0]);
            jump.push_back(part.seconds() * 1000);
            part.restart();
            QWidget* editor = QApplication::focusWidget();
            if (!qobject_cast<QLineEdit*>(editor))
                editor = grid->viewport()->findChild<QLineEdit*>();
            if (!editor) {
                note("typing into the last row opened no cell editor");
                break;
            }
            QTest::keyClicks(editor, QString::fromLatin1(value + 1));
            type.push_back(part.seconds() * 1000);
            part.restart();
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents(); // the delegate commits and closes the editor queued
            enter.push_back(part.seconds() * 1000);
            part.restart();
            QTest::keyClick(grid, Qt::Key_Up);
            QCoreApplication::processEvents();
            leave.push_back(part.seconds() * 1000);
            t.push_back(clock.seconds() * 1000);
            const std::string server =
                bench::queryText(db, "SELECT code FROM t WHERE id = " + std::to_string(id) + ";");
            if (server != value)
                note("after the edit the server holds \"" + server + "\" for the last row, not \"" + value + "\"");
            if (grid->currentIndex().row() != last - 1)
                note("the grid did not leave the edited row");
        }
        if (!t.empty()) {
            result("edit_ms", median(t));
            result("edit_ms_max", *std::max_element(t.begin(), t.end()));
            // Where an edit's time goes: the jump and the first key (the cell editor opens), the
            // other keys, Enter, and leaving the row (the write).
            result("edit_jump_ms", median(jump));
            result("edit_type_ms", median(type));
            result("edit_enter_ms", median(enter));
            result("edit_leave_ms", median(leave));
            step("edit " + std::to_string(median(t)) + " ms (max " + std::to_string(*std::max_element(t.begin(), t.end())) +
                 "): jump + first key " + std::to_string(median(jump)) + ", typing " + std::to_string(median(type)) +
                 ", Enter " + std::to_string(median(enter)) + ", leaving the row " + std::to_string(median(leave)));
        }
        // The same kind of write with nothing but the driver: one UPDATE by the key and its
        // commit (on the row above, so the grid's copy of the edited row stays true).
        std::vector<double> floor = bench::measureUpdateFloor(cs, bench::kTable, "qty", id - 1, 6);
        for (double& x : floor)
            x *= 1000;
        result("edit_floor_ms", median(floor));
        step("edit floor " + std::to_string(median(floor)) + " ms");
    }

    // ---- The exports from the open grid, with the progress the export menu gives them, in
    // turns with the outside baseline: the sqlite3 program writing the same table.
    using Writer = tabulon::ExportResult (*)(const tabulon::AppContext&, const tabulon::GridSource&,
                                             const QString&, tabulon::ExportProgress*);
    struct Format {
        std::string key;
        Writer writer;
        Series times;
        Series toNull; // the same export into /dev/null: its own work without the file system's
        std::uint64_t bytes = 0;
    };
    std::vector<Format> formats = {{"txt", &tabulon::SaveDataGridToFile, {}, {}, 0},
                                   {"xml", &tabulon::SaveDataGridToXMLFile, {}, {}, 0},
                                   {"csv", &tabulon::SaveDataGridToCSVFile, {}, {}, 0}};
    const std::string textFile = work + "/export.txt";
    if (want("export") || want("txt") || want("xml") || want("csv") || want("sqlite3")) {
        Series baseline, xmlWrite;
        std::uint64_t baselineBytes = 0;
        // Writing hundreds of megabytes varies most from one repetition to the next on a shared
        // machine, and the exports are quick: two more turns here.
        for (int r = 0; r < reps + 2; ++r) {
            for (Format& f : formats) {
                if (!want("export") && !want(f.key.c_str()))
                    continue;
                const std::string path = work + "/export." + f.key;
                bench::removeFile(path);
                settle();
                const int messagesBefore = seams.prompter.shown;
                bench::Clock clock;
                tabulon::DialogProgress progress(ctx.appTitle, QStringLiteral("Exporting %1 rows").arg(rows), rows,
                                                 true, &form);
                const tabulon::ExportResult written =
                    f.writer(ctx, grid->gridSource(), QString::fromStdString(path), &progress);
                f.times.add(clock.elapsed());
                f.bytes = bench::fileSize(path);
                if (written != tabulon::ExportResult::Written || seams.prompter.shown != messagesBefore)
                    note(f.key + " export did not complete cleanly");
                if (f.key != "txt")
                    bench::removeFile(path);
                // What writing that many bytes costs the system alone.
                if (f.key == "xml")
                    xmlWrite.add(bench::measureFileWrite(work + "/write-floor.bin", f.bytes));
                // The export's own work: the same rows into /dev/null, which takes the bytes
                // without storing them (the export writes a device directly).
                {
                    bench::Clock nullClock;
                    tabulon::DialogProgress nullProgress(ctx.appTitle, QStringLiteral("Exporting %1 rows").arg(rows),
                                                         rows, true, &form);
                    f.writer(ctx, grid->gridSource(), QStringLiteral("/dev/null"), &nullProgress);
                    f.toNull.add(nullClock.elapsed());
                }
            }
            if (!want("export") && !want("sqlite3"))
                continue;
            const std::string path = work + "/sqlite3.txt";
            bench::Clock clock;
            const int rc = bench::runToFile({"sqlite3", "-separator", "\t", db, "SELECT * FROM t"}, path);
            baseline.add(clock.elapsed());
            baselineBytes = bench::fileSize(path);
            if (rc != 0)
                note("sqlite3 exited with " + std::to_string(rc));
            bench::removeFile(path);
        }
        std::string said;
        for (const Format& f : formats) {
            if (f.times.empty())
                continue;
            f.times.report(f.key);
            f.toNull.report(f.key + "null");
            result(f.key + "_bytes", double(f.bytes));
            said += f.key + " " + std::to_string(f.times.bestWall()) + " s, ";
        }
        if (!formats[0].times.empty())
            result("text_bytes", double(formats[0].bytes));
        xmlWrite.report("xmlwrite");
        if (!baseline.empty()) {
            baseline.report("sqlite3");
            result("sqlite3_bytes", double(baselineBytes));
        }
        step(said + "sqlite3 " + std::to_string(baseline.bestWall()) + " s");
    }

    // ---- The workbook through the "XLS" action (the spreadsheet program is not started), in
    // turns with the library alone writing the same strings.
    if (want("workbook")) {
        if (bench::fileSize(textFile) == 0) {
            tabulon::SaveDataGridToFile(ctx, grid->gridSource(), QString::fromStdString(textFile), nullptr);
            result("text_bytes", double(bench::fileSize(textFile)));
        }
        Series action, library;
        std::uint64_t bytes = 0, libraryBytes = 0;
        for (int r = 0; r < reps; ++r) {
            settle();
            seams.launcher.lastArguments.clear();
            const int messagesBefore = seams.prompter.shown;
            bench::Clock clock;
            tabulon::mnuXLS_Click(ctx, grid->gridSource(), form.pointer());
            action.add(clock.elapsed());
            const QString path = seams.launcher.lastArguments.isEmpty() ? QString() : seams.launcher.lastArguments.last();
            bytes = bench::fileSize(path.toStdString());
            if (path.isEmpty() || bytes == 0 || seams.prompter.shown != messagesBefore)
                note("the workbook was not written cleanly");
            bench::removeFile(path.toStdString());

            const std::string baselinePath = work + "/baseline.xlsx";
            const bench::XlsxBaselineResult b = bench::measureXlsxBaseline(textFile, baselinePath);
            library.add(b.seconds, b.cpu);
            libraryBytes = b.bytes;
            bench::removeFile(baselinePath);
        }
        action.report("xlsx");
        result("xlsx_bytes", double(bytes));
        library.report("xlsxlib");
        result("xlsxlib_bytes", double(libraryBytes));
        step("workbook " + std::to_string(action.bestWall()) + " s, libxlsxwriter alone " +
             std::to_string(library.bestWall()) + " s");
    }
    bench::removeFile(textFile);
    result("errors", seams.prompter.shown);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The catalogue, in its own process.

int measureCatalogue(const std::string& db, int tables, int reps, bool refillOnly, bool withRefill)
{
    Seams seams;
    tabulon::AppContext& ctx = seams.ctx;
    ctx.programDir = QCoreApplication::applicationDirPath();
    const FileLogin login(db);
    tabulon::Form2 chooser(ctx);

    // As "Next >" on the login window: the list filled while the chooser is hidden, the first
    // entry selected, the chooser shown.
    auto fillHidden = [&] {
        chooser.hide();
        chooser.List1->clear();
        settle();
        Stopwatch clock;
        tabulon::FillTableList(login, chooser.List1);
        if (chooser.List1->count() > 0)
            chooser.List1->setCurrentRow(0);
        chooser.show();
        QCoreApplication::processEvents();
        chooser.repaint();
        return clock.seconds();
    };
    // As after "Create New Table": the list filled again while the chooser shows it.
    auto fillShown = [&] {
        settle();
        Stopwatch clock;
        tabulon::FillTableList(login, chooser.List1);
        if (chooser.List1->count() > 0)
            chooser.List1->setCurrentRow(0);
        QCoreApplication::processEvents();
        chooser.repaint();
        return clock.seconds();
    };

    if (refillOnly) {
        fillHidden();
        (void)QTest::qWaitForWindowExposed(&chooser);
        const double t = fillShown();
        result("refill_s", t);
        step("refilled while shown: " + std::to_string(t) + " s");
        return 0;
    }
    std::vector<double> fill;
    for (int r = 0; r < reps; ++r)
        fill.push_back(fillHidden());
    (void)QTest::qWaitForWindowExposed(&chooser);
    result("catalogue_s", best(fill));
    result("catalogue_items", chooser.List1->count());
    result("catalogue_tables", tables);
    if (withRefill) {
        std::vector<double> refill;
        for (int r = 0; r < reps; ++r)
            refill.push_back(fillShown());
        result("catalogue_refill_s", best(refill));
        step("catalogue " + std::to_string(best(fill)) + " s; refilled while shown " + std::to_string(best(refill)) +
             " s");
    } else {
        step("catalogue " + std::to_string(best(fill)) + " s");
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The driving process.

struct Options {
    std::vector<std::int64_t> sizes{10000, 100000, 1000000};
    int reps = 3;
    int catalogueTables = 10000;
    std::vector<int> refillTables{1000};
    std::string out = TABULON_BENCH_RESULTS;
    bool write = true;
    std::string work;
    bool keep = false;
    // Internal: one measuring process.
    std::string measure; // "size" or "catalogue"
    bool refillOnly = false;
    bool withRefill = false;
    std::string phases = "all";
    std::string db;
    std::int64_t rows = 0;
};

[[noreturn]] void usage(const char* self)
{
    std::fprintf(stderr,
                 "usage: %s [--sizes 10000,100000,1000000] [--reps N] [--catalogue-tables N | --no-catalogue]\n"
                 "          [--refill-tables 1000]\n"
                 "          [--out RESULTS.md | --no-write] [--work DIR] [--keep]\n",
                 self);
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(argv[0]);
            return argv[++i];
        };
        if (a == "--sizes") {
            o.sizes.clear();
            std::stringstream ss(next());
            for (std::string part; std::getline(ss, part, ',');)
                o.sizes.push_back(std::stoll(part));
            std::sort(o.sizes.begin(), o.sizes.end());
        } else if (a == "--reps") {
            o.reps = std::max(1, std::stoi(next()));
        } else if (a == "--catalogue-tables") {
            o.catalogueTables = std::stoi(next());
        } else if (a == "--refill-tables") {
            o.refillTables.clear();
            std::stringstream ss(next());
            for (std::string part; std::getline(ss, part, ',');)
                if (std::stoi(part) > 0)
                    o.refillTables.push_back(std::stoi(part));
        } else if (a == "--no-catalogue") {
            o.catalogueTables = 0;
        } else if (a == "--out") {
            o.out = next();
        } else if (a == "--no-write") {
            o.write = false;
        } else if (a == "--work") {
            o.work = next();
        } else if (a == "--keep") {
            o.keep = true;
        } else if (a == "--measure-size") {
            o.measure = "size";
            o.rows = std::stoll(next());
        } else if (a == "--measure-catalogue") {
            o.measure = "catalogue";
            o.rows = std::stoll(next());
        } else if (a == "--phases") {
            o.phases = next();
        } else if (a == "--with-refill") {
            o.withRefill = true;
        } else if (a == "--refill-only") {
            o.refillOnly = true;
        } else if (a == "--db") {
            o.db = next();
        } else {
            usage(argv[0]);
        }
    }
    return o;
}

// Runs one measuring process and collects what it reports.
bool runMeasuring(const std::vector<std::string>& argv, const std::string& work, std::map<std::string, double>& into,
                  std::vector<std::string>& notes)
{
    const std::string out = work + "/measure.out";
    const int rc = bench::runToFile(argv, out);
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("RESULT ", 0) == 0) {
            std::istringstream ls(line.substr(7));
            std::string key;
            double value = 0;
            ls >> key >> value;
            into[key] = value;
        } else if (line.rfind("NOTE ", 0) == 0) {
            notes.push_back(line.substr(5));
        }
    }
    bench::removeFile(out);
    if (rc != 0) {
        notes.push_back("the measuring process `" + argv[1] + " " + argv[2] + "` ended with code " + std::to_string(rc));
        return false;
    }
    return true;
}

std::string versions(const std::string& driver)
{
    std::string sqlite = bench::firstLineOf({"sqlite3", "--version"});
    if (const auto blank = sqlite.find(' '); blank != std::string::npos)
        sqlite.resize(blank);
    std::string odbc = bench::firstLineOf({"odbcinst", "--version"});
    return "SQLite " + sqlite + " (CLI and engine), " + (odbc.empty() ? std::string("unixODBC") : odbc) +
           ", driver " + driver + ", Qt " + qVersion() + ", libxlsxwriter " + LXW_VERSION + ".";
}

std::string commandLine(int argc, char** argv)
{
    std::string c = "tabulon-bench";
    for (int i = 1; i < argc; ++i)
        c += std::string(" ") + argv[i];
    return c;
}

int drive(const Options& o, int argc, char** argv)
{
    Stopwatch total;
    std::string work = o.work;
    if (work.empty()) {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tabulon-bench-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            return 1;
        }
        work = pattern;
    } else {
        std::filesystem::create_directories(work);
    }
    const std::string driver = bench::mapSqlServerToSqlite(work);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string self = bench::selfPath();

    bench::Run run;
    run.machine = bench::describeMachine();
    run.date = bench::nowUtc();
    run.command = commandLine(argc, argv);
    run.versions = versions(driver);
    run.reps = o.reps;

    for (std::int64_t rows : o.sizes) {
        const std::string db = work + "/t" + std::to_string(rows) + ".db";
        std::fprintf(stderr, "[%lld rows] generating ...\n", static_cast<long long>(rows));
        const double generated = bench::generateTable(db, rows);
        std::fprintf(stderr, "[%lld rows] generated in %.1f s (%.0f MB); measuring ...\n",
                     static_cast<long long>(rows), generated, double(bench::fileSize(db)) / 1e6);
        bench::SizeFigures f;
        f.rows = rows;
        // The smaller sizes are quick: more repetitions there keep the growth ratios steady.
        const int reps = rows < o.sizes.back() ? o.reps + 2 : o.reps;
        runMeasuring({self, "--measure-size", std::to_string(rows), "--db", db, "--work", work, "--reps",
                      std::to_string(reps), "--phases", o.phases},
                     work, f.v, run.notes);
        run.sizes.push_back(f);
        if (!o.keep)
            bench::removeFile(db);
    }
    if (o.catalogueTables > 0) {
        // Refilling a list that is on screen once grew with the square of the catalogue (minutes
        // for 10,000 tables). The smaller catalogues come first; the full one is refilled only when
        // they promise it stays short, else its time is carried over from them.
        double projected = 0;
        std::vector<std::pair<int, double>> small;
        for (int tables : o.refillTables) {
            const std::string path = work + "/catalogue" + std::to_string(tables) + ".db";
            bench::generateCatalogue(path, tables);
            std::fprintf(stderr, "[catalogue] refilling %d tables while shown ...\n", tables);
            std::map<std::string, double> figures;
            runMeasuring({self, "--measure-catalogue", std::to_string(tables), "--db", path, "--work", work,
                          "--refill-only"},
                         work, figures, run.notes);
            if (figures.count("refill_s")) {
                run.catalogue["refill_" + std::to_string(tables) + "_s"] = figures["refill_s"];
                small.emplace_back(tables, figures["refill_s"]);
            }
            if (!o.keep)
                bench::removeFile(path);
        }
        if (!small.empty()) {
            const auto& [n, t] = small.back();
            projected = t * std::pow(double(o.catalogueTables) / n, 2.0); // at worst quadratic
        }
        const bool refillFull = projected < 60;
        const std::string db = work + "/catalogue.db";
        std::fprintf(stderr, "[catalogue] generating %d tables ...\n", o.catalogueTables);
        bench::generateCatalogue(db, o.catalogueTables);
        std::fprintf(stderr, "[catalogue] measuring ...\n");
        std::vector<std::string> args{self, "--measure-catalogue", std::to_string(o.catalogueTables), "--db", db,
                                      "--work", work, "--reps", std::to_string(o.reps)};
        if (refillFull)
            args.push_back("--with-refill");
        runMeasuring(args, work, run.catalogue, run.notes);
        if (!o.keep)
            bench::removeFile(db);
    }
    run.totalSeconds = total.seconds();

    const std::string markdown = bench::renderMarkdown(run);
    std::cout << "\n" << markdown << std::flush;
    if (o.write) {
        bench::writeResults(o.out, markdown);
        std::fprintf(stderr, "\nwritten to %s\n", o.out.c_str());
    }
    if (!o.keep) {
        std::error_code ec;
        std::filesystem::remove_all(work, ec);
    } else {
        std::fprintf(stderr, "work folder kept: %s\n", work.c_str());
    }
    return run.notes.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    if (o.measure.empty())
        return drive(o, argc, argv);

    // A measuring process: the driving process has set ODBCSYSINI and the platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string work = o.work.empty() ? std::filesystem::temp_directory_path().string() : o.work;
    try {
        if (o.measure == "size")
            return measureSize(o.db, work, o.rows, o.reps, o.phases);
        return measureCatalogue(o.db, int(o.rows), o.reps, o.refillOnly, o.withRefill);
    } catch (const std::exception& e) {
        note(std::string("measuring stopped: ") + e.what());
        return 1;
    }
}
