#pragma once

#include "ExportProgress.h"
#include "GridSource.h"
#include "app/ErrorReport.h"

#include <exception>

namespace tabulon {

// The statement numbers of one export's row loop.
struct WalkLines {
    int rowStart; // what is appended before the row's cells (0: nothing)
    int columns;  // "for each column": the column count, read for every row
    int cell;     // one cell
    int rowEnd;   // what is appended after the row's cells
    int nextRow;  // "next row"
};

enum class WalkEnd { Done, Cancelled, Stopped };

// How many rows pass between two progress reports.
inline constexpr qsizetype kProgressRows = 256;

// The grid walk: every data row once, from the first to the last in the order shown, and in
// each row every column in order. The grid addresses rows directly, so what was scrolled into
// view or current before plays no part.
//
// It runs as numbered statements: an exception escaping one is reported through the handler
// with that statement's number, and the walk goes on with the next statement (the next cell
// after a failed cell). `rowEnd` returns false to stop the walk (its output is lost anyway);
// the progress can cancel it between blocks of rows.
//
// The loop is written for speed: it is re-entered after a failure instead of guarding each
// cell separately, so a walk without failures costs no more than plain loops.
template <typename StartRow, typename Cell, typename EndRow>
WalkEnd walkGrid(Handler& handler, const GridSource& grid, qsizetype rows, const WalkLines& lines,
                 ExportProgress* progress, StartRow&& rowStart, Cell&& cell, EndRow&& rowEnd)
{
    enum class Stage { RowStart, Columns, Cells, RowEnd, NextRow, Progress };
    qsizetype row = 0;
    int columns = 0;
    int column = 0;
    Stage stage = Stage::RowStart;
    for (;;) {
        try {
            while (row < rows) {
                switch (stage) {
                case Stage::RowStart:
                    rowStart(row);
                    stage = Stage::Columns;
                    [[fallthrough]];
                case Stage::Columns:
                    columns = grid.columnCount();
                    column = 0;
                    stage = Stage::Cells;
                    [[fallthrough]];
                case Stage::Cells:
                    for (; column < columns; ++column)
                        cell(row, column);
                    stage = Stage::RowEnd;
                    [[fallthrough]];
                case Stage::RowEnd: {
                    const bool goOn = rowEnd(row);
                    stage = Stage::NextRow;
                    if (!goOn)
                        return WalkEnd::Stopped;
                    [[fallthrough]];
                }
                case Stage::NextRow:
                    ++row;
                    stage = Stage::Progress;
                    [[fallthrough]];
                case Stage::Progress:
                    if (progress && row % kProgressRows == 0 && !progress->advance(row))
                        return WalkEnd::Cancelled;
                    stage = Stage::RowStart;
                    break;
                }
            }
            if (progress && !progress->advance(rows))
                return WalkEnd::Cancelled;
            return WalkEnd::Done;
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            int line = lines.nextRow;
            switch (stage) {
            case Stage::RowStart:
                line = lines.rowStart;
                stage = Stage::Columns;
                break;
            case Stage::Columns:
                line = lines.columns;
                columns = 0;
                stage = Stage::Cells;
                break;
            case Stage::Cells:
                line = lines.cell;
                ++column;
                break;
            case Stage::RowEnd:
                line = lines.rowEnd;
                stage = Stage::NextRow;
                break;
            case Stage::NextRow:
                line = lines.nextRow;
                ++row;
                stage = Stage::RowStart;
                break;
            case Stage::Progress:
                line = lines.nextRow;
                stage = Stage::RowStart;
                break;
            }
            handler.step(line, [&] { std::rethrow_exception(error); });
        }
    }
}

} // namespace tabulon
