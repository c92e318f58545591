#include "ExportActions.h"

#include "ExportFile.h"
#include "ExportProgress.h"
#include "ExportText.h"
#include "GridWalk.h"
#include "GridWriters.h"
#include "Workbook.h"
#include "app/AppContext.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "platform/TextPrinting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QWidget>
#include <memory>
#include <mutex>

#include <pwd.h>
#include <unistd.h>

namespace tabulon {

namespace {

using Writer = ExportResult (*)(const AppContext&, const GridSource&, const QString&,
                                ExportProgress*);

QString countText(qsizetype count)
{
    return QLocale().toString(qlonglong(count));
}

// The window whose pointer the export sets: its progress dialog belongs to it.
QWidget* windowOf(PointerController& pointer)
{
    return qobject_cast<QWidget*>(pointer.parent());
}

// The exports that ask for a file name: Save dialog, hourglass, the writer, default pointer.
// No message follows; the file is not opened.
void exportToChosenFile(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                        QString& lastFileName, const QString& filter, Writer writer)
{
    const QString fileName = ctx.files.chooseSaveFile(QStringLiteral("Save"), filter,
                                                      offeredSaveName(ctx, lastFileName, filter));
    if (fileName.isEmpty())
        return;
    lastFileName = fileName;
    Hourglass busy(pointer);
    const qsizetype rows = grid.rowCount();
    DialogProgress progress(ctx.appTitle,
                            QStringLiteral("Exporting %1 rows to %2")
                                .arg(countText(rows), QFileInfo(fileName).fileName()),
                            rows, true, windowOf(pointer));
    writer(ctx, grid, fileName, &progress);
}

// Workbooks handed to the spreadsheet program stay until the program ends: the spreadsheet
// program reads them after it has started, at a moment nobody tells us.
class WorkbooksToRemove {
public:
    static WorkbooksToRemove& instance()
    {
        static WorkbooksToRemove files;
        return files;
    }
    void add(const QString& path)
    {
        std::lock_guard lock(mutex_);
        paths_ << path;
    }
    ~WorkbooksToRemove()
    {
        for (const QString& path : paths_)
            QFile::remove(path);
    }

private:
    std::mutex mutex_;
    QStringList paths_;
};

QString readUtf8File(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("The file \"%1\" could not be read: %2")
                           .arg(fileName, file.errorString()));
    return QString::fromUtf8(file.readAll());
}

// Progress of painting pages, shown by the same dialog as the rows of an export.
class PageProgress {
public:
    PageProgress(QString title, QString label, bool cancellable, QWidget* parent)
        : title_(std::move(title)), label_(std::move(label)), cancellable_(cancellable),
          parent_(parent)
    {
    }
    bool operator()(int done, int pages)
    {
        if (!dialog_)
            dialog_ = std::make_unique<DialogProgress>(title_, label_.arg(countText(pages)), pages,
                                                       cancellable_, parent_);
        if (!dialog_->advance(done))
            cancelled_ = true;
        return !cancelled_;
    }
    bool cancelled() const { return cancelled_; }

private:
    QString title_;
    QString label_;
    bool cancellable_;
    QWidget* parent_;
    std::unique_ptr<DialogProgress> dialog_;
    bool cancelled_ = false;
};

} // namespace

QString offeredSaveName(const QString& lastFileName, const QString& table, const QString& filter,
                        const QString& documentsFolder)
{
    // "Text Files (*.txt)|*.txt": the pattern after the last bar names the extension.
    QString extension = filter.section(QLatin1Char('|'), -1).trimmed();
    if (extension.startsWith(QLatin1String("*.")))
        extension = extension.mid(2);
    else
        extension.clear();
    auto withExtension = [&](const QString& name) {
        return extension.isEmpty() ? name : name + QLatin1Char('.') + extension;
    };
    if (!lastFileName.isEmpty()) {
        const QFileInfo last(lastFileName);
        static const QStringList exportExtensions = {
            QStringLiteral("txt"), QStringLiteral("xml"),  QStringLiteral("csv"),
            QStringLiteral("pdf"), QStringLiteral("xlsx"), QStringLiteral("xls")};
        if (extension.isEmpty() || last.suffix().compare(extension, Qt::CaseInsensitive) == 0)
            return lastFileName;
        if (exportExtensions.contains(last.suffix(), Qt::CaseInsensitive) && !last.completeBaseName().isEmpty())
            return withExtension(lastFileName.left(lastFileName.size() - last.suffix().size() - 1));
        return withExtension(lastFileName);
    }
    // A file name of the table's name: no folder separators, no NUL, not "." or "..".
    QString name = table;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.remove(QChar(0));
    if (name.trimmed().isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("Tabulon");
    return QDir(documentsFolder).filePath(withExtension(name));
}

QString offeredSaveName(const AppContext& ctx, const QString& lastFileName, const QString& filter)
{
    return offeredSaveName(lastFileName, ctx.currentTable, filter,
                           lastFileName.isEmpty() ? ctx.files.documentsFolder() : QString());
}

void mnuTXT_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName)
{
    exportToChosenFile(ctx, grid, pointer, lastFileName, QStringLiteral("Text Files (*.txt)|*.txt"),
                       &SaveDataGridToFile);
}

void mnuXML_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName)
{
    exportToChosenFile(ctx, grid, pointer, lastFileName, QStringLiteral("XML Files (*.xml)|*.xml"),
                       &SaveDataGridToXMLFile);
}

void mnuCSV_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName)
{
    exportToChosenFile(ctx, grid, pointer, lastFileName, QStringLiteral("CSV Files (*.csv)|*.csv"),
                       &SaveDataGridToCSVFile);
}

bool IsExcelInstalled(const AppContext& ctx, QString* program)
{
    for (const char* name : {"localc", "libreoffice", "soffice"}) {
        const QString path = ctx.launcher.findProgram(QLatin1String(name));
        if (!path.isEmpty()) {
            if (program)
                *program = path;
            return true;
        }
    }
    ctx.say(QStringLiteral("Excel is not installed on this computer. You need to have it installed "
                           "to use this feature."));
    return false;
}

void mnuXLS_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer)
{
    Handler handler(ctx, loc::Form3_Xls);
    if (!handler.when(100, [&] { return grid.rowCount() > 0; }))
        return;
    QString program;
    if (handler.when(102, [&] { return !IsExcelInstalled(ctx, &program); }))
        return;
    handler.step(104, [&] { pointer.set(Pointer::Hourglass); });

    QString path;
    std::unique_ptr<XlsxWorkbook> book;
    const bool created = handler.step(106, [&] {
        path = createPrivateTempFile(QStringLiteral(".xlsx"));
        book = std::make_unique<XlsxWorkbook>(path);
    });
    // Without a workbook there is nothing to copy into: straight to the end.
    if (!created || !handler.step(108, [&] { book->addSheet(); })) {
        book.reset();
        if (!path.isEmpty())
            QFile::remove(path);
        handler.step(154, [&] { pointer.set(Pointer::Default); });
        return;
    }

    std::string text;
    bool cutReported = false;
    // Captions are text; data cells go in as their column's kind of value.
    auto putText = [&](std::uint32_t sheetRow, int sheetColumn,
                       CellKind kind = CellKind::Text) {
        if (!book->writeCell(sheetRow - 1, std::uint16_t(sheetColumn - 1), kind, text)
            && !cutReported) {
            cutReported = true;
            throw AppError(QStringLiteral("The text for row %1, column %2 is longer than the %3 "
                                          "characters a worksheet cell holds; the cell holds its "
                                          "beginning.")
                               .arg(sheetRow)
                               .arg(sheetColumn)
                               .arg(XlsxWorkbook::kMaxTextLength));
        }
    };

    int sheetColumn = 1;
    handler.step(110, [&] { sheetColumn = 1; });
    int columns = 0;
    std::vector<CellKind> kinds;
    handler.step(112, [&] {
        columns = grid.columnCount();
        kinds.assign(std::size_t(columns), CellKind::Text);
        for (int column = 0; column < columns; ++column)
            kinds[std::size_t(column)] = grid.columnKind(column);
        if (columns > XlsxWorkbook::kMaxColumns) {
            columns = XlsxWorkbook::kMaxColumns;
            throw AppError(QStringLiteral("A worksheet holds at most %1 columns; the columns after "
                                          "the %1th are not copied.")
                               .arg(countText(XlsxWorkbook::kMaxColumns)));
        }
    });
    for (int column = 0; column < columns; ++column) {
        handler.step(114, [&] {
            text.clear();
            exporttext::appendUtf8(text, grid.caption(column));
            putText(1, sheetColumn);
        });
        handler.step(116, [&] { ++sheetColumn; });
    } // 118
    std::uint32_t sheetRow = 2;
    handler.step(120, [&] { sheetRow = 2; });
    // 122: the walk starts at the first row; the grid addresses rows directly.
    qsizetype rows = 0;
    handler.step(124, [&] {
        rows = grid.rowCount();
        if (rows > qsizetype(XlsxWorkbook::kMaxRows) - 1) {
            rows = qsizetype(XlsxWorkbook::kMaxRows) - 1;
            throw AppError(QStringLiteral("A worksheet holds at most %1 rows; the rows after the "
                                          "first %2 are not copied.")
                               .arg(countText(XlsxWorkbook::kMaxRows), countText(rows)));
        }
    });

    DialogProgress progress(ctx.appTitle,
                            QStringLiteral("Copying %1 rows into a workbook").arg(countText(rows)),
                            rows, true, windowOf(pointer));
    const WalkEnd end = walkGrid(
        handler, grid, rows, WalkLines{136, 138, 140, 146, 148}, &progress,
        [&](qsizetype) { sheetColumn = 1; },
        [&](qsizetype row, int column) {
            if (column >= columns) // beyond the sheet's last column, reported at 112
                return;
            text.clear();
            grid.appendCellUtf8(row, column, text);
            putText(sheetRow, column + 1,
                    std::size_t(column) < kinds.size() ? kinds[std::size_t(column)] : CellKind::Text);
        },
        [&](qsizetype) {
            ++sheetRow;
            return true;
        });
    if (end == WalkEnd::Cancelled) {
        book.reset();
        QFile::remove(path);
        handler.step(154, [&] { pointer.set(Pointer::Default); });
        return;
    }

    handler.step(150, [&] { book->fitColumns(); });
    handler.step(152, [&] {
        progress.finishing(QStringLiteral("Writing the workbook ..."), true);
        std::unique_ptr<XlsxWorkbook> closing = std::move(book);
        closing->close();
        WorkbooksToRemove::instance().add(path);
        if (!ctx.launcher.startDetached(program,
                                        {QStringLiteral("--calc"), QStringLiteral("-n"), path}))
            throw AppError(QStringLiteral("The spreadsheet program \"%1\" could not be started.")
                               .arg(program));
    });
    handler.step(154, [&] { pointer.set(Pointer::Default); });
}

std::optional<PrinterInfo> findPdfPrinter(Printers& printers)
{
    for (const PrinterInfo& printer : printers.installed())
        if (printer.name == PdfPrinterName || printer.description == PdfPrinterName)
            return printer;
    return std::nullopt;
}

QString pdfPrinterMissingText()
{
    const QString crlf = QStringLiteral("\r\n");
    return PdfPrinterName + QStringLiteral(" is not installed. Please follow these instructions:") +
           crlf + crlf +
           QStringLiteral("1) Go to Control Panel -> Printers and Faxes to add a local printer.") +
           crlf + QStringLiteral("2) Choose ''CPW2: (") + PdfPrinterName +
           QStringLiteral(")'' on Select a Printer Port dialog box, click Next.") + crlf +
           QStringLiteral(
               "3) Choose a Postscript printer (e.g. HP Color LaserJet PS), click Next.") +
           crlf + QStringLiteral("4) Enter ") + PdfPrinterName +
           QStringLiteral(" as Printer name, click Next -> Finish.");
}

QString cupsPdfOutputFolder(const QString& configuration)
{
    QFile file(configuration);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString folder = QStringLiteral("/var/spool/cups-pdf/${USER}"); // cups-pdf's default
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (words.size() >= 2 && words.at(0) == QStringLiteral("Out"))
            folder = line.mid(3).trimmed();
    }
    const struct passwd* user = ::getpwuid(::getuid());
    const QString userName = user ? QString::fromLocal8Bit(user->pw_name)
                                  : qEnvironmentVariable("USER");
    folder.replace(QStringLiteral("${HOME}"), QDir::homePath());
    folder.replace(QStringLiteral("${USER}"), userName);
    return QDir::cleanPath(folder);
}

QString pdfPrintedNotice(const QString& documentName, const QString& folder)
{
    const QString sent =
        QStringLiteral("The PDF of %1 was printed on %2").arg(documentName, PdfPrinterName);
    if (folder.isEmpty())
        return sent + QStringLiteral(", which saves its files in the folder its configuration "
                                     "names (with cups-pdf usually the folder PDF in your home "
                                     "folder).");
    return sent + QStringLiteral(", which saves its files in %1.")
                      .arg(QDir::toNativeSeparators(folder));
}

void CheckPdfPrinter(const AppContext& ctx)
{
    if (!findPdfPrinter(ctx.printers))
        ctx.say(pdfPrinterMissingText());
}

QString createPrivateTempFile(const QString& suffix)
{
    // An unusable TMPDIR makes tempPath() empty; never fall back to the root folder then.
    const QString folder = QDir::tempPath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        throw AppError(QStringLiteral("The temporary folder \"%1\" does not exist.")
                           .arg(qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"))));
    QTemporaryFile file(folder + QStringLiteral("/tabulon-XXXXXX") + suffix);
    file.setAutoRemove(false);
    if (!file.open())
        throw AppError(QStringLiteral("No temporary file could be created in \"%1\": %2")
                           .arg(QDir::toNativeSeparators(QDir::tempPath()), file.errorString()));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString name = file.fileName();
    file.close();
    return name;
}

void DeleteTempFile(const QString& fileName)
{
    QCoreApplication::processEvents();
    if (fileName.isEmpty() || QFile::remove(fileName) || !QFileInfo::exists(fileName))
        return;
    QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile::remove(fileName);
}

void mnuPDF_Click(const AppContext& ctx, const GridSource& grid, PointerController& pointer,
                  QString& lastFileName, const std::function<void(const QString&)>& notice)
{
    Handler handler(ctx, loc::Form3_Pdf);
    const QString documentName = ctx.currentTable.isEmpty() ? ctx.appTitle : ctx.currentTable;

    QString tempName;
    handler.step(100, [&] { tempName = createPrivateTempFile(QStringLiteral(".txt")); });
    // Whatever happens below, the temporary file does not outlive the export.
    struct RemoveAtEnd {
        const QString& name;
        ~RemoveAtEnd()
        {
            if (!name.isEmpty() && QFileInfo::exists(name))
                DeleteTempFile(name);
        }
    } removeAtEnd{tempName};

    ExportResult written = ExportResult::Failed;
    {
        Hourglass busy(pointer);
        const qsizetype rows = grid.rowCount();
        DialogProgress progress(ctx.appTitle,
                                QStringLiteral("Preparing the PDF of %1 rows").arg(countText(rows)),
                                rows, true, windowOf(pointer));
        handler.step(102, [&] {
            if (!tempName.isEmpty())
                written = SaveDataGridToFile(ctx, grid, tempName, &progress);
        });
    }
    if (!handler.when(
            104, [&] { return written == ExportResult::Written && QFileInfo::exists(tempName); }))
        return;

    std::optional<PrinterInfo> queue;
    handler.step(106, [&] { queue = findPdfPrinter(ctx.printers); });
    QString pdfFile;
    const bool toPrinter = handler.when(108, [&] {
        if (queue)
            return true;
        const QString filter = QStringLiteral("PDF Files (*.pdf)|*.pdf");
        pdfFile = ctx.files.chooseSaveFile(QStringLiteral("Save"), filter,
                                           offeredSaveName(ctx, lastFileName, filter));
        if (!pdfFile.isEmpty())
            lastFileName = pdfFile;
        return false;
    });

    bool printed = false;
    if (toPrinter || !pdfFile.isEmpty()) {
        Hourglass busy(pointer);
        QString text;
        handler.step(110, [&] { text = readUtf8File(tempName); });
        // A print job cannot be taken back once Qt has started it, so printing shows no Cancel.
        PageProgress pages(ctx.appTitle,
                           toPrinter ? QStringLiteral("Printing %1 pages of ") + documentName +
                                           QStringLiteral(" on ") + PdfPrinterName
                                     : QStringLiteral("Writing %1 pages to ") +
                                           QFileInfo(pdfFile).fileName(),
                           !toPrinter, windowOf(pointer));
        const PaintProgress paintProgress = [&pages](int done, int all) {
            return pages(done, all);
        };
        handler.step(112, [&] {
            if (toPrinter) {
                if (!queue)
                    throw AppError(PdfPrinterName + QStringLiteral(" is not installed."));
                const ScopedPaintProgress lend(paintProgress);
                const QString failure = ctx.printers.printText({text, documentName, queue->name});
                if (!failure.isEmpty() && !pages.cancelled())
                    throw AppError(failure);
                printed = failure.isEmpty();
                return;
            }
            ExportFile out(pdfFile);
            QIODevice* device = out.device();
            if (!device)
                out.commit(); // throws with the reason
            const QString failure = writeTextTablePdf(text, *device, documentName, paintProgress);
            if (pages.cancelled())
                return; // dropped with `out`
            if (!failure.isEmpty())
                throw AppError(failure);
            out.commit();
        });
    }
    handler.step(114, [&] { DeleteTempFile(tempName); });
    // Where the printer puts the file is the printer's affair; say where that is, without a box.
    if (printed && notice)
        notice(pdfPrintedNotice(documentName, cupsPdfOutputFolder()));
}

} // namespace tabulon
