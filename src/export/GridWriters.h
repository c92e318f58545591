#pragma once

#include "ExportProgress.h"
#include "GridSource.h"

#include <QString>

namespace tabulon {

struct AppContext;

enum class ExportResult {
    Written,   // the file is complete
    Failed,    // reported; the file (if it existed) is as it was before
    Cancelled, // stopped by the person; the file is as it was before
};

// The file writers of the editor's grid. Each runs as numbered statements: an error is shown
// with the writer's location text and the number of the failing statement, and the writer goes
// on with the next one. The rows are visited from the first to the last whatever the grid
// shows; a failure to open or write the file is reported at the writer's statement for the
// write and leaves the old file untouched. `progress` (may be null) hears about every block
// of rows and can cancel; a cancelled export writes nothing.

// Tab-delimited text: every caption and every cell followed by a TAB, every line (the header
// too) ended by CR LF, nothing quoted; UTF-8 without a byte-order mark.
// Statements: 100 empty text, 102 column count, 104 caption, 108 CR LF, 110 walk start,
// 112 row count, 124 columns of the row, 126 cell, 130 CR LF, 132 next row, 134 write.
ExportResult SaveDataGridToFile(const AppContext& ctx, const GridSource& grid,
                                const QString& fileName, ExportProgress* progress = nullptr);

// XML: "<xml>", per row "<row>", one "<caption>text</caption>" line per column and "</row>",
// then "</xml>" without a line end; lines end in CR LF. Texts are escaped and captions that
// are not XML names are encoded (see exporttext::xmlElementName), so every file parses.
// Statements: 100 "<xml>", 102 walk start (element names), 104 row count, 106 "<row>",
// 118 columns of the row, 120 element line, 124 "</row>", 126 next row, 128 "</xml>",
// 130 write.
ExportResult SaveDataGridToXMLFile(const AppContext& ctx, const GridSource& grid,
                                   const QString& fileName, ExportProgress* progress = nullptr);

// Comma-separated values (RFC 4180): a header of captions, then one record per row; a field
// holding a comma, a double quote, CR or LF is quoted with its quotes doubled; records end in
// CR LF; UTF-8 without a byte-order mark. The statements are numbered as in the text writer.
ExportResult SaveDataGridToCSVFile(const AppContext& ctx, const GridSource& grid,
                                   const QString& fileName, ExportProgress* progress = nullptr);

} // namespace tabulon
