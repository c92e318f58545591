// Export speed on a generated table, against sqlite3 writing the same kind of table as
// tab-delimited text and against libxlsxwriter writing the same strings on its own.
// Not part of the suite (no timing assertions): run it by hand with
//   test_export --gtest_also_run_disabled_tests --gtest_filter='*ExportSpeed*'
// TABULON_SPEED_ROWS sets the row count (1,000,000 by default); TABULON_SPEED_TEXT_ONLY=1 leaves
// the (slow) workbook out.
#include "ExportTestSupport.h"
#include "app/WindowConventions.h"
#include "export/ExportActions.h"
#include "export/ExportProgress.h"
#include "export/GridWriters.h"
#include "export/Workbook.h"
#include "support/Fakes.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdio>
#include <xlsxwriter.h>

namespace tabulon::test {
namespace {

// Eight mixed columns (integer key, two short texts, a decimal, an integer, a date-time, a
// longer text, a bit), held as the display texts a grid keeps, in UTF-8.
class TableGrid : public GridSource {
public:
    explicit TableGrid(qsizetype rows) : rows_(rows)
    {
        offsets_.reserve(std::size_t(rows) * kColumns + 1);
        blob_.reserve(std::size_t(rows) * 120);
        char buffer[128];
        const QDateTime epoch = QDateTime::fromSecsSinceEpoch(1600000000, Qt::UTC);
        for (qsizetype i = 1; i <= rows; ++i) {
            add(std::to_string(i));
            add("name" + std::to_string(i));
            add("city" + std::to_string(i % 1000));
            std::snprintf(buffer, sizeof buffer, "%.15g", double(i * 137) / 100.0);
            add(buffer);
            add(std::to_string(i % 977));
            add(epoch.addSecs(i * 37)
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                    .toStdString());
            add("a somewhat longer note text for row " + std::to_string(i) + " with more words");
            add(std::to_string(i % 2));
        }
        offsets_.push_back(blob_.size());
    }

    int columnCount() const override { return kColumns; }
    QString caption(int column) const override
    {
        static const char* names[] = {"id", "a", "b", "price", "qty", "created", "note", "flag"};
        return QString::fromLatin1(names[column]);
    }
    qsizetype rowCount() const override { return rows_; }
    QString cellText(qsizetype row, int column) const override
    {
        const std::size_t i = std::size_t(row) * kColumns + std::size_t(column);
        return QString::fromUtf8(blob_.data() + offsets_[i],
                                 qsizetype(offsets_[i + 1] - offsets_[i]));
    }
    void appendCellUtf8(qsizetype row, int column, std::string& out) const override
    {
        const std::size_t i = std::size_t(row) * kColumns + std::size_t(column);
        out.append(blob_.data() + offsets_[i], offsets_[i + 1] - offsets_[i]);
    }

    static constexpr int kColumns = 8;

private:
    void add(const std::string& text)
    {
        offsets_.push_back(blob_.size());
        blob_ += text;
    }
    qsizetype rows_;
    std::string blob_;
    std::vector<std::size_t> offsets_;
};

struct Figure {
    QString what;
    double seconds;
    qint64 bytes;
};

void print(const std::vector<Figure>& figures, qsizetype rows, double baseline, double xlsxBaseline)
{
    std::printf("\n%-34s %9s %12s %9s %8s\n", "export", "seconds", "rows/s", "MB/s", "ratio");
    for (const Figure& f : figures) {
        const bool workbook = f.what.contains(QStringLiteral("workbook"));
        const double reference = workbook ? xlsxBaseline : baseline;
        std::printf("%-34s %9.3f %12.0f %9.1f %8.2f\n", qPrintable(f.what), f.seconds,
                    double(rows) / f.seconds, double(f.bytes) / 1e6 / f.seconds,
                    reference > 0 ? f.seconds / reference : 0.0);
    }
}

TEST(ExportSpeed, DISABLED_MillionRows)
{
    const qsizetype rows = qEnvironmentVariableIntValue("TABULON_SPEED_ROWS") > 0
                               ? qEnvironmentVariableIntValue("TABULON_SPEED_ROWS")
                               : 1000000;
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/speed-XXXXXX"));
    TestContext t;
    QElapsedTimer clock;
    clock.start();
    const TableGrid grid(rows);
    std::printf("grid of %lld rows built in %.2f s\n", qlonglong(rows), clock.elapsed() / 1000.0);

    // sqlite3 writing an equivalent table as tab-delimited text.
    const QString db = dir.filePath(QStringLiteral("t.db"));
    const QString sql =
        QStringLiteral(
            "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b TEXT, price DECIMAL(10,2), qty "
            "INTEGER, "
            "created DATETIME, note TEXT, flag BIT);"
            "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i<%1) "
            "INSERT INTO t SELECT i, 'name'||i, 'city'||(i%1000), round(i*1.37,2), i%977, "
            "datetime(1600000000+i*37,'unixepoch'), 'a somewhat longer note text for row '||i||' "
            "with more words', "
            "i%2 FROM c;")
            .arg(rows);
    ASSERT_EQ(run(QStringLiteral("sqlite3"), {db, sql}, 600000).exitCode, 0);
    const QString sqliteOut = dir.filePath(QStringLiteral("sqlite.txt"));
    double baseline = 0;
    {
        QProcess sqlite;
        sqlite.setStandardOutputFile(sqliteOut);
        clock.restart();
        sqlite.start(QStringLiteral("sqlite3"), {QStringLiteral("-separator"), QStringLiteral("\t"),
                                                 db, QStringLiteral("SELECT * FROM t")});
        ASSERT_TRUE(sqlite.waitForFinished(600000));
        baseline = clock.elapsed() / 1000.0;
    }
    std::vector<Figure> figures{{QStringLiteral("sqlite3 -separator TAB (baseline)"), baseline,
                                 QFileInfo(sqliteOut).size()}};

    struct Writer {
        const char* name;
        ExportResult (*fn)(const AppContext&, const GridSource&, const QString&, ExportProgress*);
    };
    for (const Writer& w :
         {Writer{"txt", &SaveDataGridToFile}, Writer{"xml", &SaveDataGridToXMLFile},
          Writer{"csv", &SaveDataGridToCSVFile}}) {
        const QString file = dir.filePath(QStringLiteral("out.") + QLatin1String(w.name));
        DialogProgress progress(QStringLiteral("Tabulon"), QStringLiteral("Exporting"), rows);
        clock.restart();
        ASSERT_EQ(w.fn(t.ctx, grid, file, &progress), ExportResult::Written);
        figures.push_back({QStringLiteral("%1 export").arg(QLatin1String(w.name)),
                           clock.elapsed() / 1000.0, QFileInfo(file).size()});
        QFile::remove(file);
        // The same text into /dev/null: what building it costs without the disk.
        clock.restart();
        ASSERT_EQ(w.fn(t.ctx, grid, QStringLiteral("/dev/null"), nullptr), ExportResult::Written);
        figures.push_back({QStringLiteral("%1 to /dev/null").arg(QLatin1String(w.name)),
                           clock.elapsed() / 1000.0, figures.back().bytes});
    }

    if (qEnvironmentVariableIsSet("TABULON_SPEED_TEXT_ONLY")) {
        print(figures, rows, baseline, 0);
        return;
    }

    // libxlsxwriter alone: the same strings, prepared beforehand, written as fast as it goes.
    double xlsxBaseline = 0;
    {
        std::vector<std::string> cells(std::size_t(rows) * TableGrid::kColumns);
        for (qsizetype r = 0; r < rows; ++r)
            for (int c = 0; c < TableGrid::kColumns; ++c)
                grid.appendCellUtf8(r, c,
                                    cells[std::size_t(r) * TableGrid::kColumns + std::size_t(c)]);
        const QString file = dir.filePath(QStringLiteral("alone.xlsx"));
        clock.restart();
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE;
        lxw_workbook* book = workbook_new_opt(QFile::encodeName(file).constData(), &options);
        lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
        for (int c = 0; c < TableGrid::kColumns; ++c)
            worksheet_write_string(sheet, 0, lxw_col_t(c), grid.caption(c).toUtf8().constData(),
                                   nullptr);
        for (qsizetype r = 0; r < rows; ++r)
            for (int c = 0; c < TableGrid::kColumns; ++c)
                worksheet_write_string(
                    sheet, lxw_row_t(r + 1), lxw_col_t(c),
                    cells[std::size_t(r) * TableGrid::kColumns + std::size_t(c)].c_str(), nullptr);
        ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
        xlsxBaseline = clock.elapsed() / 1000.0;
        figures.push_back({QStringLiteral("libxlsxwriter alone (baseline)"), xlsxBaseline,
                           QFileInfo(file).size()});
        QFile::remove(file);
    }
    {
        const TempPathOverride tempPath(dir.path());
        t.launcher.programsOnPath = {QStringLiteral("localc")};
        QWidget window;
        PointerController pointer(&window);
        clock.restart();
        mnuXLS_Click(t.ctx, grid, pointer);
        const double seconds = clock.elapsed() / 1000.0;
        ASSERT_TRUE(t.prompter.shown.empty());
        ASSERT_EQ(t.launcher.started.size(), 1u);
        const QString file = t.launcher.started[0].last();
        figures.push_back(
            {QStringLiteral("workbook (mnuXLS_Click)"), seconds, QFileInfo(file).size()});
        QFile::remove(file);
    }
    print(figures, rows, baseline, xlsxBaseline);
}

} // namespace
} // namespace tabulon::test
