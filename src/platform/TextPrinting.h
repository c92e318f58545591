#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QIODevice;
class QPagedPaintDevice;

namespace tabulon {

// Called once per page while text is painted: (pages done, pages in all). Returning false
// stops the painting.
using PaintProgress = std::function<bool(int pagesDone, int pages)>;

// Lays plain text out on pages: a monospaced font, TABs expanded to stops every eight
// columns, long lines wrapped, each page numbered at its foot ("Page 1 of 3").
// Returns the number of pages; 0 when the printer could not be started, -1 when `progress`
// stopped it (what was painted then is dropped where the printer allows it).
// Without `progress`, the one installed by a ScopedPaintProgress on this thread is used.
int paintPlainText(QPagedPaintDevice& device, const QString& text,
                   const PaintProgress& progress = {});

// Writes the same layout straight to a PDF file (Qt's own PDF writer, A4, or Letter where the
// locale uses it). The file appears complete or not at all: an existing file is replaced only
// once the new one is written. Returns an empty text on success, else why not.
QString writePlainTextPdf(const QString& text, const QString& pdfPath, const QString& title,
                          const PaintProgress& progress = {});

// The same, onto an open device; the caller puts the file in place. Returns an empty text on
// success, else why not.
QString writePlainTextPdf(const QString& text, QIODevice& output, const QString& title,
                          const PaintProgress& progress = {});

// Expands TABs to stops every `tabSize` columns.
QString expandTabs(const QString& line, int tabSize = 8);

// The display lines of a text: CR LF, lone CR and lone LF each end a line (a final line break
// opens no further line), TABs are expanded and lines longer than `width` characters wrap.
QStringList plainTextLines(const QString& text, int width, int tabSize = 8);

// Lends a progress callback to the paintPlainText calls made on this thread while it lives,
// for printing paths that take no callback of their own (the printer seam).
class ScopedPaintProgress {
public:
    explicit ScopedPaintProgress(PaintProgress progress);
    ~ScopedPaintProgress();
    ScopedPaintProgress(const ScopedPaintProgress&) = delete;
    ScopedPaintProgress& operator=(const ScopedPaintProgress&) = delete;

private:
    PaintProgress previous_;
};

} // namespace tabulon
