#pragma once

#include <QString>

class QPagedPaintDevice;
class QPrinter;

namespace tabulon {

// Lays plain text out on pages: a monospaced font, TABs expanded to stops every eight
// columns, long lines wrapped, each page numbered at its foot. Returns the number of pages.
int paintPlainText(QPrinter& printer, const QString& text);

// Writes the same layout straight to a PDF file. Returns an empty text on success, else why not.
QString writePlainTextPdf(const QString& text, const QString& pdfPath, const QString& title);

// Expands TABs to stops every `tabSize` columns.
QString expandTabs(const QString& line, int tabSize = 8);

} // namespace tabulon
