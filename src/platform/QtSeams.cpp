#include "QtSeams.h"
#include "CupsJob.h"
#include "PostScriptTable.h"
#include "TextPrinting.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QFontMetrics>
#include <QScreen>
#include <QGridLayout>
#include <QSpacerItem>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTime>

namespace tabulon {

QString displayLineBreaks(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString qtFilterFromPipeFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList names;
    for (int i = 0; i < parts.size(); i += 2)
        names << parts.at(i);
    return names.join(QStringLiteral(";;"));
}

MessageAnswer QtPrompter::show(const Message& message)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(message.title);
    box.setText(displayLineBreaks(message.text));
    box.setTextFormat(Qt::PlainText);
    if (!message.details.isEmpty())
        box.setDetailedText(displayLineBreaks(message.details));
    switch (message.icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (message.buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // A short text would leave the box too narrow for its own title. The box lays itself out
    // afresh when its icon or buttons are set, so the room is made after them: the title in a
    // bold face, as title bars commonly draw it, plus the window buttons beside it, and never
    // wider than the screen.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        int width = QFontMetrics(titleFont).horizontalAdvance(message.title) + 150;
        if (const QScreen* screen = box.screen())
            width = qMin(width, screen->availableGeometry().width() - 80);
        grid->addItem(new QSpacerItem(qMax(260, width), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    default: break;
    }
    if (message.buttons == MessageButtons::YesNo) return MessageAnswer::No;
    if (message.buttons == MessageButtons::OkCancel || message.buttons == MessageButtons::YesNoCancel)
        return box.clickedButton() ? MessageAnswer::Ok : MessageAnswer::Cancel;
    return MessageAnswer::Ok;
}

QString QtFileChooser::chooseSaveFile(const QString& title, const QString& filter,
                                      const QString& initialName)
{
    QFileDialog dialog(QApplication::activeWindow(), title, initialName,
                       qtFilterFromPipeFilter(filter));
    prepareSaveDialog(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

QString QtFileChooser::documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents) && QFileInfo(documents).isWritable())
        return documents;
    return QDir::homePath();
}

void QtFileChooser::prepareSaveDialog(QFileDialog& dialog)
{
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The dialog's own question before an existing file is replaced; "No" stays in the dialog.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
}

bool QtLauncher::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool QtLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

QString QtLauncher::findProgram(const QString& name)
{
    return QStandardPaths::findExecutable(name);
}

std::vector<PrinterInfo> QtPrinters::installed()
{
    std::vector<PrinterInfo> list;
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters())
        list.push_back({info.printerName(), info.description()});
    return list;
}

QString QtPrinters::defaultPrinter() { return QPrinterInfo::defaultPrinter().printerName(); }

QString QtPrinters::printText(const TextPrintJob& job)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(job.printerName);
    if (info.isNull())
        return QStringLiteral("The printer \"%1\" is not installed.").arg(job.printerName);
    const PaintProgress& progress = ScopedPaintProgress::current();

    // The table goes to the queue as PostScript of our own, the font inside and every
    // character under its Unicode glyph name, so that a PDF printer that turns PostScript into
    // PDF keeps the text searchable. (Qt's own print job reaches such a printer as PDF that
    // the queue converts to PostScript and back, and that trip leaves glyphs without text.)
    QString fontProblem;
    const QString fontFile = findTableFontFile();
    const std::optional<TrueTypeFont> font =
        fontFile.isEmpty() ? std::nullopt : TrueTypeFont::load(fontFile, &fontProblem);
    if (font) {
        const QPageSize size =
            info.defaultPageSize().isValid() ? info.defaultPageSize() : tablePageLayout().pageSize();
        const QPageLayout page(size, QPageLayout::Portrait,
                               QMarginsF(kTableMarginMm, kTableMarginMm, kTableMarginMm,
                                         kTableMarginMm),
                               QPageLayout::Millimeter);
        const TableLayout layout =
            layoutTable(parseTabbedText(job.text), tablePageMetrics(page, font->advanceEm()));
        // Two options for cups-pdf, which other printers ignore: it writes PDF 1.2 unless told
        // otherwise, and at 1.2 Ghostscript turns an embedded TrueType font into one without
        // text; and it names the file after the job's title only when asked to (from the
        // document's own title it adds stray characters).
        const CupsJobResult result = printPostScriptOnCups(
            job.printerName, job.documentName,
            {{QByteArray("PDFVer"), QByteArray("1.4")}, {QByteArray("TitlePref"), QByteArray("1")}},
            [&](const std::function<bool(const QByteArray&)>& write) {
                return writeTablePostScript(layout, *font, size.size(QPageSize::Point),
                                            job.documentName, write, progress);
            });
        return result.failure;
    }

    // Without the font file, Qt prints the same table itself.
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setDocName(job.documentName);
    if (paintTextTable(printer, job.text, progress) < 1)
        return QStringLiteral("The print job could not be started on \"%1\".").arg(job.printerName);
    return {};
}

void StdRandom::seedFromTimeOfDay()
{
    engine_.seed(static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay()));
}

double StdRandom::next()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
}

} // namespace tabulon
