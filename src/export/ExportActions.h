#pragma once

#include "GridSource.h"
#include "platform/Printers.h"

#include <QString>
#include <functional>
#include <optional>

namespace tabulon {

struct AppContext;
class PointerController;

// The editor's "Export Table As.." menu. `lastFileName` is the editor's one Save dialog file
// name, shared by the exports that ask for a file: it is offered as the initial name and
// holds the last name chosen (a cancelled dialog leaves it as it was). Exports of more than
// about half a second show a progress dialog with a Cancel button; a cancelled export leaves
// no file.

// The name a Save dialog offers for a format whose pipe filter is `filter`: the first time (no
// last name) the table's name with the format's extension in `documentsFolder`; after that the
// last name chosen, with the extension of this format in place of an export format's one (or
// added when it has none of them). A table name that cannot be a file name is made one.
QString offeredSaveName(const QString& lastFileName, const QString& table, const QString& filter,
                        const QString& documentsFolder);
// The same for the editor's exports: ctx.currentTable, and the chooser's documents folder,
// asked for only when there is no last name.
QString offeredSaveName(const AppContext& ctx, const QString& lastFileName, const QString& filter);

// "TXT": Save dialog ("Text Files (*.txt)|*.txt"), then the tab-delimited text.
void mnuTXT_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName);
// "XML": Save dialog ("XML Files (*.xml)|*.xml"), then the XML file.
void mnuXML_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName);
// "CSV": Save dialog ("CSV Files (*.csv)|*.csv"), then the comma-separated file.
void mnuCSV_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName);
// "XLS": a new workbook with the grid's texts, opened in the spreadsheet program as a new,
// untitled document. An empty table does nothing.
void mnuXLS_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer);
// "PDF": the tab-delimited text printed as a table on the "Vantorel PDF Writer" queue (the
// default printer is never changed); without that printer, a Save dialog ("PDF Files
// (*.pdf)|*.pdf") and the same table written as a PDF file. After a job went to the queue,
// `notice` (when given) receives the note that tells where the printer puts the file; it is
// meant for a line in the window, not for a message box.
void mnuPDF_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName,
                  const std::function<void(const QString&)>& notice = {});

// A spreadsheet program that opens .xlsx files: localc, libreoffice or soffice, whichever is
// found first. When there is none, says "Excel is not installed on this computer. ..." and
// returns false. `program` receives the program's path.
bool IsExcelInstalled(const AppContext& ctx, QString* program = nullptr);

// The PDF printer's name, looked for among the queues' names and descriptions.
inline const QString PdfPrinterName = QStringLiteral("Vantorel PDF Writer");

// The installed printer whose name or description is PdfPrinterName, if any.
std::optional<PrinterInfo> findPdfPrinter(Printers& printers);

// The folder cups-pdf writes its PDF files to, from its configuration file: the "Out" setting
// (cups-pdf's own default when there is none) with ${HOME} and ${USER} of the user printing.
// Empty when the configuration cannot be read.
QString cupsPdfOutputFolder(const QString& configuration = QStringLiteral("/etc/cups/cups-pdf.conf"));

// The note after a job went to the PDF printer: which document, which printer, and the folder
// (or, without one, where cups-pdf usually puts its files).
QString pdfPrintedNotice(const QString& documentName, const QString& folder);

// The start-up check: when no such printer is installed, tells how to add it.
void CheckPdfPrinter(const AppContext& ctx);
QString pdfPrinterMissingText();

// Removes a temporary file after letting the event loop run once; when a plain removal fails,
// the file is made writable and removed again. Never fails.
void DeleteTempFile(const QString& fileName);

// Creates a new, private (0600), uniquely named file in the system's temporary folder whose
// name ends in `suffix` (".txt"), and returns its path. Throws AppError when it cannot.
QString createPrivateTempFile(const QString& suffix);

} // namespace tabulon
