#pragma once

// Reading a PDF's text back as pdftotext lays it out, and checking that it reads as a table.

#include <QString>
#include <QStringList>
#include <vector>

namespace tabulon::test {

// What `pdftotext -layout` reads from a PDF (every page, or only page `page`, 1-based), line by
// line, trailing blanks dropped.
QStringList pdfTextLines(const QString& pdf, int page = 0);

// Checks that the lines hold the header and then every row in order, each cell starting
// where its caption starts (the columns found on the header line) and nothing else on the
// line. Returns what does not hold, or an empty text.
QString tableRowsFailure(const QStringList& lines, const QStringList& header,
                         const std::vector<QStringList>& rows);

// The same over the pages of a PDF, each read on its own (pdftotext spaces every page by
// itself): every page starts with the header, the rows follow in order across the pages, each
// page carries "Page N of M". `pages` is the number of pages expected.
QString pdfTableFailure(const QString& pdf, const QStringList& header,
                        const std::vector<QStringList>& rows, int pages);

// The page count pdfinfo reads, -1 when it reads none.
int pdfPageCount(const QString& pdf);

} // namespace tabulon::test
