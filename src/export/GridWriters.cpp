#include "GridWriters.h"

#include "ExportFile.h"
#include "ExportText.h"
#include "GridWalk.h"
#include "app/AppContext.h"
#include "app/ErrorReport.h"

#include <QFileInfo>
#include <vector>

namespace tabulon {

namespace {

using exporttext::appendUtf8;

// The text is built in memory and handed to the file in pieces of this size, at row ends.
constexpr std::size_t kChunkBytes = std::size_t(4) << 20;

struct Output {
    explicit Output(const QString& fileName) : file(fileName)
    {
        text.reserve(kChunkBytes + kChunkBytes / 4);
    }

    // At the end of a row: passes a full piece on. False once the file has failed.
    bool rowDone()
    {
        if (text.size() >= kChunkBytes) {
            file.write(text);
            text.clear();
        }
        return !file.failed();
    }

    void finish()
    {
        file.write(text);
        text.clear();
        file.commit();
    }

    ExportFile file;
    std::string text;
};

// The last statement of every writer: the file is put in place, or, after a cancel, dropped.
ExportResult finishExport(Handler& handler, Output& out, WalkEnd end, int writeLine,
                          ExportProgress* progress)
{
    if (end == WalkEnd::Cancelled) {
        out.file.discard();
        return ExportResult::Cancelled;
    }
    if (progress)
        progress->finishing(
            QStringLiteral("Writing %1 ...").arg(QFileInfo(out.file.fileName()).fileName()));
    return handler.step(writeLine, [&] { out.finish(); }) ? ExportResult::Written
                                                          : ExportResult::Failed;
}

// Tab-delimited text: every field followed by a TAB, nothing quoted.
struct TabFields {
    static void begin(std::string&, int) {}
    static void end(std::string& text, std::size_t, int) { text += '\t'; }
};

// CSV: fields separated by commas and quoted where needed.
struct CsvFields {
    static void begin(std::string& text, int column)
    {
        if (column > 0)
            text += ',';
    }
    static void end(std::string& text, std::size_t from, int columns)
    {
        exporttext::quoteCsvFieldFrom(text, from, columns == 1);
    }
};

// The text and CSV writers share their statements. A field that cannot be read is reported
// and written empty, so the rest of its line stays in its columns.
template <typename Fields>
ExportResult writeDelimited(const AppContext& ctx, const GridSource& grid, const QString& fileName,
                            ExportProgress* progress, const QString& location)
{
    Handler handler(ctx, location);
    Output out(fileName);
    std::string& text = out.text;

    handler.step(100, [&] { text.clear(); });
    int columns = 0;
    handler.step(102, [&] { columns = grid.columnCount(); });
    for (int column = 0; column < columns; ++column) {
        handler.step(104, [&] {
            Fields::begin(text, column);
            const std::size_t from = text.size();
            try {
                appendUtf8(text, grid.caption(column));
            } catch (...) {
                text.resize(from);
                Fields::end(text, from, columns);
                throw;
            }
            Fields::end(text, from, columns);
        });
    } // 106
    handler.step(108, [&] { text += "\r\n"; });
    handler.step(110, [&] { out.file.start(); });
    qsizetype rows = 0;
    handler.step(112, [&] { rows = grid.rowCount(); });

    WalkEnd end = WalkEnd::Stopped;
    if (!out.file.failed()) {
        end = walkGrid(
            handler, grid, rows, WalkLines{0, 124, 126, 130, 132}, progress, [](qsizetype) {},
            [&](qsizetype row, int column) {
                Fields::begin(text, column);
                const std::size_t from = text.size();
                try {
                    grid.appendCellUtf8(row, column, text);
                } catch (...) {
                    text.resize(from);
                    Fields::end(text, from, columns);
                    throw;
                }
                Fields::end(text, from, columns);
            },
            [&](qsizetype) {
                text += "\r\n";
                return out.rowDone();
            });
    }
    return finishExport(handler, out, end, 134, progress);
}

} // namespace

ExportResult SaveDataGridToFile(const AppContext& ctx, const GridSource& grid,
                                const QString& fileName, ExportProgress* progress)
{
    return writeDelimited<TabFields>(ctx, grid, fileName, progress, loc::Grid_SaveText);
}

ExportResult SaveDataGridToCSVFile(const AppContext& ctx, const GridSource& grid,
                                   const QString& fileName, ExportProgress* progress)
{
    return writeDelimited<CsvFields>(ctx, grid, fileName, progress, loc::Grid_SaveCsv);
}

ExportResult SaveDataGridToXMLFile(const AppContext& ctx, const GridSource& grid,
                                   const QString& fileName, ExportProgress* progress)
{
    Handler handler(ctx, loc::Grid_SaveXml);
    Output out(fileName);
    std::string& text = out.text;

    handler.step(100, [&] { text = "<xml>\r\n"; });
    // Each column's tags are made once from its caption, not for every row.
    std::vector<std::string> startTags;
    std::vector<std::string> endTags;
    auto tagsUpTo = [&](int column) {
        while (int(startTags.size()) <= column) {
            const std::string name =
                exporttext::xmlElementName(grid.caption(int(startTags.size())));
            startTags.push_back('<' + name + '>');
            endTags.push_back("</" + name + ">\r\n");
        }
    };
    handler.step(102, [&] {
        out.file.start();
        const int columns = grid.columnCount();
        if (columns > 0)
            tagsUpTo(columns - 1);
    });
    qsizetype rows = 0;
    handler.step(104, [&] { rows = grid.rowCount(); });

    // Where the row's cell texts stand: they are escaped together at the row's end.
    std::vector<exporttext::TextRange> cells;
    WalkEnd end = WalkEnd::Stopped;
    if (!out.file.failed()) {
        end = walkGrid(
            handler, grid, rows, WalkLines{106, 118, 120, 124, 126}, progress,
            [&](qsizetype) {
                cells.clear();
                text += "<row>\r\n";
            },
            [&](qsizetype row, int column) {
                // A line that fails is dropped whole.
                const std::size_t mark = text.size();
                try {
                    if (column >= int(startTags.size()))
                        tagsUpTo(column);
                    text += startTags[std::size_t(column)];
                    const std::size_t from = text.size();
                    grid.appendCellUtf8(row, column, text);
                    const std::size_t to = text.size();
                    text += endTags[std::size_t(column)];
                    cells.push_back({from, to});
                } catch (...) {
                    text.resize(mark);
                    throw;
                }
            },
            [&](qsizetype) {
                exporttext::escapeXmlTexts(text, cells);
                text += "</row>\r\n";
                return out.rowDone();
            });
    }
    if (end != WalkEnd::Cancelled)
        handler.step(128, [&] { text += "</xml>"; });
    return finishExport(handler, out, end, 130, progress);
}

} // namespace tabulon
