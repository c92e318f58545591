#pragma once

#include "TableLayout.h"

#include <QPageLayout>
#include <QString>
#include <functional>

class QIODevice;
class QPagedPaintDevice;

namespace tabulon {

// Called once per page while text is painted: (pages done, pages in all). Returning false
// stops the painting.
using PaintProgress = std::function<bool(int pagesDone, int pages)>;

// How a printed table looks on every path: Liberation Mono at 9 points, lines 1.2 times the
// font size apart, 15 mm margins.
inline constexpr double kTableFontPoints = 9.0;
inline constexpr double kTableLineFactor = 1.2;
inline constexpr double kTableMarginMm = 15.0;

// The page for a PDF file: A4, or Letter where the locale uses it, portrait, with the margins.
QPageLayout tablePageLayout();

// The metrics the table layout needs for a portrait page of `page` (its margins taken off),
// with a character advance of `charWidthEm` of the font size.
PageMetrics tablePageMetrics(const QPageLayout& page, double charWidthEm);

// Lays a tab-delimited text out as a table (see layoutTable) and paints it on the device: the
// header line over every page with a rule under it, each page numbered at its foot
// ("Page 1 of 3"). The device turns to landscape when the table needs it. Returns the number
// of pages; 0 when the device could not be started, -1 when `progress` stopped it (what was
// painted then is dropped where the device allows it).
// Without `progress`, the one installed by a ScopedPaintProgress on this thread is used.
int paintTextTable(QPagedPaintDevice& device, const QString& text,
                   const PaintProgress& progress = {});

// The layout paintTextTable gives the text on a device with this page (before any turn).
TableLayout textTableLayout(const QString& text, const QPageLayout& page);

// Where the rule under a page's header ends: after the last column, in character cells.
int headerEnd(const TablePage& page);

// Writes the table straight to a PDF file (Qt's own PDF writer, on tablePageLayout()). The
// file appears complete or not at all: an existing file is replaced only once the new one is
// written. Returns an empty text on success, else why not.
QString writeTextTablePdf(const QString& text, const QString& pdfPath, const QString& title,
                          const PaintProgress& progress = {});

// The same, onto an open device; the caller puts the file in place. Returns an empty text on
// success, else why not.
QString writeTextTablePdf(const QString& text, QIODevice& output, const QString& title,
                          const PaintProgress& progress = {});

// Lends a progress callback to the printing done on this thread while it lives, for printing
// paths that take no callback of their own (the printer seam).
class ScopedPaintProgress {
public:
    explicit ScopedPaintProgress(PaintProgress progress);
    ~ScopedPaintProgress();
    ScopedPaintProgress(const ScopedPaintProgress&) = delete;
    ScopedPaintProgress& operator=(const ScopedPaintProgress&) = delete;

    // The callback lent on this thread, if any.
    static const PaintProgress& current();

private:
    PaintProgress previous_;
};

} // namespace tabulon
