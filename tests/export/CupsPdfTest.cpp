#include "ExportTestSupport.h"
#include "export/ExportActions.h"
#include "export/GridWriters.h"
#include "platform/QtSeams.h"
#include "platform/PostScriptTable.h"
#include "platform/TableLayout.h"
#include "platform/TextPrinting.h"
#include "support/Fakes.h"

#include "app/WindowConventions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <unistd.h>

namespace tabulon::test {
namespace {

// Where cups-pdf puts the PDFs of jobs printed by this user ("Out" of its configuration).
QString cupsPdfOutputFolder()
{
    QString folder = QStringLiteral("${HOME}/PDF");
    const QString conf = QString::fromUtf8(readAll(QStringLiteral("/etc/cups/cups-pdf.conf")));
    const QRegularExpressionMatch out = QRegularExpression(QStringLiteral("^Out\\s+(\\S+)\\s*$"),
                                                           QRegularExpression::MultilineOption)
                                            .match(conf);
    if (out.hasMatch())
        folder = out.captured(1);
    folder.replace(QStringLiteral("${HOME}"), QDir::homePath());
    folder.replace(QStringLiteral("${USER}"), qEnvironmentVariable("USER", QStringLiteral("root")));
    return folder;
}

QString newestPdfNamed(const QString& folder, const QString& prefix)
{
    const QFileInfoList files =
        QDir(folder).entryInfoList({prefix + QStringLiteral("*.pdf")}, QDir::Files, QDir::Time);
    return files.isEmpty() ? QString() : files.first().absoluteFilePath();
}

int pdfPages(const QString& pdf)
{
    const ProcessResult info = run(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(info.out));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The PDF export printed on a real CUPS queue made by the project's setup script: cups-pdf
// writes the file, the default printer stays as it was, the temporary text file is gone.
TEST(CupsPdfTest, PrintsOnTheVantorelQueueWithoutTouchingTheDefaultPrinter)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "starting cupsd and adding a queue needs root";
    for (const char* needed :
         {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/lib/cups/backend/cups-pdf",
          "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"})
        if (!QFileInfo::exists(QLatin1String(needed)))
            GTEST_SKIP() << needed << " is not installed";

    const QString script = QStringLiteral(TABULON_SOURCE_DIR "/scripts/setup-pdf-printer.sh");
    for (int round = 0; round < 2; ++round) { // the second run finds everything in place
        const ProcessResult setup = run(QStringLiteral("bash"), {script}, 60000);
        ASSERT_TRUE(setup.finished);
        ASSERT_EQ(setup.exitCode, 0) << setup.err.toStdString();
        EXPECT_TRUE(setup.out.isEmpty() && setup.err.isEmpty())
            << "quiet on success: " << setup.out.toStdString() << setup.err.toStdString();
    }
    const QByteArray defaultBefore = run(QStringLiteral("lpstat"), {QStringLiteral("-d")}).out;

    QTemporaryDir temp;
    const TempPathOverride tempPath(temp.path());
    FakePrompter prompter;
    FakeFileChooser files;
    FakeLauncher launcher;
    QtPrinters printers;
    FakeRandom random;
    AppContext ctx{prompter, files, launcher, printers, random};
    const QString documentName =
        QStringLiteral("TabulonCupsTest%1").arg(QCoreApplication::applicationPid());
    ctx.currentTable = documentName;
    QWidget window;
    PointerController pointer(&window);
    QString lastFileName;

    // Accents, Greek and Cyrillic among plain rows, enough for several pages.
    const QStringList header{QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("city")};
    std::vector<QStringList> expectedRows;
    for (int i = 1; i <= 150; ++i)
        expectedRows.push_back({QString::number(i), QStringLiteral("name %1").arg(i),
                                QStringLiteral("city %1").arg(i % 7)});
    expectedRows[1] = {QStringLiteral("2"), QStringLiteral("Zoë Ångström"), QStringLiteral("Αθήνα")};
    expectedRows[2] = {QStringLiteral("3"), QStringLiteral("Иван Петров"), QStringLiteral("Θεσσαλονίκη")};
    std::vector<FakeGrid::Row> rows;
    for (const QStringList& row : expectedRows)
        rows.push_back({row.at(0), row.at(1), row.at(2)});
    const FakeGrid grid(header, std::move(rows));

    const std::optional<PrinterInfo> queue = findPdfPrinter(printers);
    ASSERT_TRUE(queue.has_value()) << "Qt does not list the queue";
    EXPECT_EQ(queue->name, QStringLiteral("Vantorel_PDF_Writer"));

    const QString outFolder = cupsPdfOutputFolder();
    QStringList notices;
    mnuPDF_Click(ctx, grid, pointer, lastFileName, [&](const QString& note) { notices << note; });

    EXPECT_TRUE(prompter.shown.empty()) << prompter.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(files.calls.empty()) << "the printer exists, so no Save dialog";
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty()) << "the temporary text file is removed";
    // The note names the folder the file lands in.
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0], pdfPrintedNotice(documentName, outFolder));

    // cups-pdf works on its own time; wait for the file, but not forever.
    QString pdf;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 90000) {
        pdf = newestPdfNamed(outFolder, documentName);
        if (!pdf.isEmpty() && QFileInfo(pdf).size() > 0 && pdfPages(pdf) > 0)
            break;
        QThread::msleep(250);
    }
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF named " << documentName.toStdString() << "* in "
                                << outFolder.toStdString() << " after 90 s";
    // Named after the job's title and number, nothing else.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^%1-job_\\d+\\.pdf$").arg(documentName))
                    .match(QFileInfo(pdf).fileName())
                    .hasMatch())
        << pdf.toStdString();

    // The same text laid out as the queue's job lays it out: the printer's page, the font the
    // job carries.
    QString text;
    {
        const QString txt = temp.filePath(QStringLiteral("expected.txt"));
        ASSERT_EQ(SaveDataGridToFile(ctx, grid, txt), ExportResult::Written);
        text = QString::fromUtf8(readAll(txt));
        QFile::remove(txt);
    }
    const std::optional<TrueTypeFont> font = TrueTypeFont::load(findTableFontFile());
    ASSERT_TRUE(font.has_value()) << "fonts-liberation is not installed";
    const QPageLayout page(QPrinterInfo::printerInfo(queue->name).defaultPageSize(),
                           QPageLayout::Portrait,
                           QMarginsF(kTableMarginMm, kTableMarginMm, kTableMarginMm, kTableMarginMm),
                           QPageLayout::Millimeter);
    const int expectedPages = int(
        layoutTable(parseTabbedText(text), tablePageMetrics(page, font->advanceEm())).pages.size());
    ASSERT_GT(expectedPages, 1) << "the test table should take several pages";
    EXPECT_EQ(pdfPages(pdf), expectedPages);

    // The queue's PDF keeps the text: every row at its columns, the header and the page
    // number on every page.
    const QString failure = pdfTableFailure(pdf, header, expectedRows, expectedPages);
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();

    EXPECT_EQ(run(QStringLiteral("lpstat"), {QStringLiteral("-d")}).out, defaultBefore);
    QFile::remove(pdf);
}

} // namespace
} // namespace tabulon::test
