#include "ExportTestSupport.h"
#include "export/ExportActions.h"
#include "export/ExportProgress.h"
#include "support/Fakes.h"

#include "app/ErrorReport.h"
#include "app/WindowConventions.h"

#include <QApplication>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <sys/stat.h>

namespace tabulon::test {
namespace {

using Handler = void (*)(const AppContext&, const GridSource&, PointerController&, QString&);

struct FileExport {
    const char* name;
    Handler handler;
    const char* filter;
    QByteArray exampleBytes;
};

const FileExport kExports[] = {
    {"txt", &mnuTXT_Click, "Text Files (*.txt)|*.txt", "id\tname\t\r\n1\tAnn\t\r\n2\t\t\r\n"},
    {"xml", &mnuXML_Click, "XML Files (*.xml)|*.xml",
     "<xml>\r\n<row>\r\n<id>1</id>\r\n<name>Ann</name>\r\n</row>\r\n<row>\r\n<id>2</id>\r\n<name></"
     "name>\r\n"
     "</row>\r\n</xml>"},
    {"csv", &mnuCSV_Click, "CSV Files (*.csv)|*.csv", "id,name\r\n1,Ann\r\n2,\r\n"},
};

class ActionsTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    QTemporaryDir temp; // the system temporary folder during the test
    TempPathOverride tempPath{temp.path()};
    TestContext t;
    QWidget window;
    PointerController pointer{&window};
    QString lastFileName;
};

class FileExportTest : public ActionsTest, public ::testing::WithParamInterface<FileExport> {};

TEST_P(FileExportTest, AsksForTheFileWritesItAndSaysNothing)
{
    const FileExport& e = GetParam();
    FakeGrid grid = exampleGrid();
    std::vector<Pointer> pointerWhileWriting;
    grid.beforeCell = [&](qsizetype, int) { pointerWhileWriting.push_back(pointer.pointer()); };
    lastFileName = QStringLiteral("earlier.name");
    const QString chosen = path(QStringLiteral("no extension added"));
    t.files.answers = {chosen};

    e.handler(t.ctx, grid, pointer, lastFileName);

    ASSERT_EQ(t.files.calls.size(), 1u);
    EXPECT_EQ(t.files.calls[0].title, QStringLiteral("Save"));
    EXPECT_EQ(t.files.calls[0].filter, QLatin1String(e.filter));
    // The last name is offered again, with this format's extension.
    EXPECT_EQ(t.files.calls[0].initialName, QStringLiteral("earlier.name.") + QLatin1String(e.name));
    EXPECT_EQ(readAll(chosen), e.exampleBytes);
    EXPECT_EQ(lastFileName, chosen);
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_TRUE(t.launcher.started.empty() && t.launcher.opened.empty())
        << "the file is not opened";
    ASSERT_FALSE(pointerWhileWriting.empty());
    EXPECT_EQ(pointerWhileWriting.front(), Pointer::Hourglass);
    EXPECT_EQ(pointer.pointer(), Pointer::Default);
}

TEST_P(FileExportTest, ACancelledDialogWritesNothingAndKeepsTheLastName)
{
    lastFileName = path(QStringLiteral("before.txt"));
    t.files.answers = {QString()};
    GetParam().handler(t.ctx, exampleGrid(), pointer, lastFileName);
    EXPECT_EQ(t.files.calls.size(), 1u);
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_EQ(lastFileName, path(QStringLiteral("before.txt")));
    EXPECT_EQ(pointer.pointer(), Pointer::Default);
}

TEST_P(FileExportTest, AnExistingFileIsReplacedOnlyAfterTheDialogAsked)
{
    const QString chosen = path(QStringLiteral("existing"));
    const QByteArray old(5000, 'z');
    writeAll(chosen, old);

    // "No": back in the dialog, which is then cancelled; the old file stays as it was.
    t.files.answers = {chosen, QString()};
    t.files.replaceAnswers = {false};
    GetParam().handler(t.ctx, exampleGrid(), pointer, lastFileName);
    EXPECT_EQ(t.files.replaceQuestions, QStringList{chosen});
    ASSERT_EQ(t.files.calls.size(), 2u) << "\"No\" goes back to the dialog";
    EXPECT_EQ(t.files.calls[1].initialName, chosen);
    EXPECT_EQ(readAll(chosen), old);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("existing")});
    EXPECT_EQ(pointer.pointer(), Pointer::Default);

    // "No", another name, which is written; the old file still stays.
    const QString other = path(QStringLiteral("other"));
    t.files.answers = {chosen, other};
    t.files.replaceAnswers = {false};
    GetParam().handler(t.ctx, exampleGrid(), pointer, lastFileName);
    EXPECT_EQ(readAll(chosen), old);
    EXPECT_EQ(readAll(other), GetParam().exampleBytes);
    EXPECT_EQ(lastFileName, other);

    // "Yes": replaced.
    t.files.answers = {chosen};
    t.files.replaceAnswers = {true};
    t.files.replaceQuestions.clear();
    GetParam().handler(t.ctx, exampleGrid(), pointer, lastFileName);
    EXPECT_EQ(t.files.replaceQuestions, QStringList{chosen});
    EXPECT_EQ(readAll(chosen), GetParam().exampleBytes);
    EXPECT_TRUE(t.prompter.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Menu, FileExportTest, ::testing::ValuesIn(kExports),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ActionsTest, TheLastChosenNameIsOfferedByTheNextSaveDialogWithItsFormatsExtension)
{
    // The first time: the table's name with the format's extension, in the documents folder.
    t.ctx.currentTable = QStringLiteral("Orders");
    t.files.documents = path(QStringLiteral("Documents"));
    const QString first = path(QStringLiteral("first.txt"));
    const QString second = path(QStringLiteral("second.xml"));
    t.files.answers = {first, second, QString(), QString()};
    mnuTXT_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    mnuXML_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    mnuCSV_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    mnuTXT_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    ASSERT_EQ(t.files.calls.size(), 4u);
    EXPECT_EQ(t.files.calls[0].initialName.toStdString(), path(QStringLiteral("Documents/Orders.txt")).toStdString());
    EXPECT_EQ(t.files.calls[1].initialName.toStdString(), path(QStringLiteral("first.xml")).toStdString());
    EXPECT_EQ(t.files.calls[2].initialName.toStdString(), path(QStringLiteral("second.csv")).toStdString());
    // A cancelled dialog keeps the last name chosen.
    EXPECT_EQ(t.files.calls[3].initialName.toStdString(), path(QStringLiteral("second.txt")).toStdString());
}

TEST(OfferedSaveName, FirstTimeTheTableAfterThatTheLastNameWithTheFormatsExtension)
{
    const QString txt = QStringLiteral("Text Files (*.txt)|*.txt");
    const QString pdf = QStringLiteral("PDF Files (*.pdf)|*.pdf");
    const QString docs = QStringLiteral("/home/ann/Documents");
    const struct {
        const char* last;
        const char* table;
        const QString& filter;
        const char* offered;
    } cases[] = {
        {"", "Orders", txt, "/home/ann/Documents/Orders.txt"},
        {"", "Order Lines", pdf, "/home/ann/Documents/Order Lines.pdf"},
        {"", "a/b", txt, "/home/ann/Documents/a_b.txt"},     // no folder out of a table name
        {"", "..", txt, "/home/ann/Documents/Tabulon.txt"},  // nor a step upwards
        {"", "", txt, "/home/ann/Documents/Tabulon.txt"},
        {"/tmp/x/orders.txt", "Orders", txt, "/tmp/x/orders.txt"},
        {"/tmp/x/orders.xml", "Orders", txt, "/tmp/x/orders.txt"},
        {"/tmp/x/orders.TXT", "Orders", txt, "/tmp/x/orders.TXT"},
        {"/tmp/x/my.orders.csv", "Orders", pdf, "/tmp/x/my.orders.pdf"},
        {"/tmp/x/orders", "Orders", txt, "/tmp/x/orders.txt"},
        {"/tmp/x/orders.2024", "Orders", txt, "/tmp/x/orders.2024.txt"},
        {"/tmp/x/.txt", "Orders", pdf, "/tmp/x/.txt.pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(offeredSaveName(QString::fromUtf8(c.last), QString::fromUtf8(c.table), c.filter, docs).toStdString(),
                  c.offered)
            << c.last << " / " << c.table;
}

TEST_F(ActionsTest, ALongExportShowsProgressAndCanBeCancelledLeavingNoFile)
{
    std::vector<FakeGrid::Row> rows(
        5000, FakeGrid::Row{QStringLiteral("1"), QStringLiteral("some text")});
    FakeGrid grid({QStringLiteral("a"), QStringLiteral("b")}, std::move(rows));
    QString shownLabel;
    Pointer pointerWithDialog = Pointer::Default;
    grid.beforeCell = [&](qsizetype row, int column) {
        if (column != 0)
            return;
        if (row == 10)
            QThread::msleep(DialogProgress::kShowAfterMs + 100); // now the export is a long one
        if (row == 4000) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QProgressDialog*>(w);
                if (dialog && dialog->isVisible()) {
                    shownLabel = dialog->labelText();
                    pointerWithDialog = pointer.pointer();
                    dialog->cancel(); // as the Cancel button does
                }
            }
        }
    };
    const QString chosen = path(QStringLiteral("big.txt"));
    for (const FileExport& e : kExports) {
        shownLabel.clear();
        t.files.answers = {chosen};
        e.handler(t.ctx, grid, pointer, lastFileName);
        EXPECT_EQ(shownLabel, QStringLiteral("Exporting 5,000 rows to big.txt")) << e.name;
        EXPECT_EQ(pointerWithDialog, Pointer::Hourglass);
        EXPECT_FALSE(QFileInfo::exists(chosen)) << e.name;
        EXPECT_TRUE(entriesOf(dir.path()).isEmpty()) << e.name;
        EXPECT_TRUE(t.prompter.shown.empty());
        EXPECT_EQ(pointer.pointer(), Pointer::Default);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<QProgressDialog*>(w)) {
                EXPECT_FALSE(w->isVisible()) << "the dialog goes away";
            }
        }
    }
}

// --- spreadsheet ---------------------------------------------------------------------------

const QString kNoSpreadsheet = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this feature.");

TEST_F(ActionsTest, SpreadsheetOfAnEmptyTableDoesNothing)
{
    t.launcher.programsOnPath = {QStringLiteral("localc")};
    mnuXLS_Click(t.ctx, emptyGrid(), pointer);
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_TRUE(t.launcher.started.empty());
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty());
}

TEST_F(ActionsTest, WithoutASpreadsheetProgramSaysSoAndDoesNothingElse)
{
    std::vector<Pointer> pointers;
    t.prompter.onShow = [&](const Message&) { pointers.push_back(pointer.pointer()); };
    mnuXLS_Click(t.ctx, exampleGrid(), pointer);
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_EQ(t.prompter.shown[0].text, kNoSpreadsheet);
    EXPECT_EQ(t.prompter.shown[0].title, t.ctx.appTitle);
    EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(t.prompter.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(pointers, std::vector<Pointer>{Pointer::Default}) << "the hourglass is not up yet";
    EXPECT_TRUE(t.launcher.started.empty());
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty());
}

struct ProgramCase {
    QStringList onPath;
    QString used;
};

class SpreadsheetProgramTest : public ActionsTest,
                               public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(SpreadsheetProgramTest, OpensAPrivateWorkbookAsANewDocument)
{
    t.launcher.programsOnPath = GetParam().onPath;
    mnuXLS_Click(t.ctx, exampleGrid(), pointer);
    EXPECT_TRUE(t.prompter.shown.empty());
    ASSERT_EQ(t.launcher.started.size(), 1u);
    const QStringList& command = t.launcher.started[0];
    ASSERT_EQ(command.size(), 4);
    EXPECT_EQ(command[0], QStringLiteral("/usr/bin/") + GetParam().used);
    EXPECT_EQ(command[1], QStringLiteral("--calc"));
    EXPECT_EQ(command[2], QStringLiteral("-n"));
    const QFileInfo book(command[3]);
    EXPECT_EQ(book.absolutePath(), QFileInfo(temp.path()).absoluteFilePath());
    EXPECT_TRUE(book.fileName().endsWith(QStringLiteral(".xlsx")));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(command[3]).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(readAll(command[3]).left(2), QByteArray("PK")) << "a zip container";
    EXPECT_EQ(pointer.pointer(), Pointer::Default);
    QFile::remove(command[3]);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, SpreadsheetProgramTest,
    ::testing::Values(ProgramCase{{QStringLiteral("soffice"), QStringLiteral("localc"),
                                   QStringLiteral("libreoffice")},
                                  QStringLiteral("localc")},
                      ProgramCase{{QStringLiteral("soffice"), QStringLiteral("libreoffice")},
                                  QStringLiteral("libreoffice")},
                      ProgramCase{{QStringLiteral("soffice")}, QStringLiteral("soffice")}));

TEST_F(ActionsTest, AProgramThatWillNotStartIsReportedAtTheShowStatement)
{
    t.launcher.programsOnPath = {QStringLiteral("localc")};
    t.launcher.succeed = false;
    mnuXLS_Click(t.ctx, exampleGrid(), pointer);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_EQ(
        t.prompter.errors()[0].text,
        applicationErrorText(
            QStringLiteral("The spreadsheet program \"/usr/bin/localc\" could not be started."),
            loc::Form3_Xls, 152));
    EXPECT_EQ(pointer.pointer(), Pointer::Default);
}

TEST_F(ActionsTest, AFailingCellIsReportedAndTheCopyGoesOn)
{
    t.launcher.programsOnPath = {QStringLiteral("localc")};
    FakeGrid grid = exampleGrid();
    grid.beforeCell = [](qsizetype row, int column) {
        if (row == 0 && column == 1)
            throw AppError(QStringLiteral("Cell unreadable"));
    };
    mnuXLS_Click(t.ctx, grid, pointer);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_EQ(t.prompter.errors()[0].text,
              applicationErrorText(QStringLiteral("Cell unreadable"), loc::Form3_Xls, 140));
    EXPECT_EQ(t.launcher.started.size(), 1u);
}

// --- PDF -----------------------------------------------------------------------------------

struct PrinterCase {
    PrinterInfo printer;
    bool matches;
};

class PdfPrinterTest : public ActionsTest, public ::testing::WithParamInterface<PrinterCase> {};

TEST_P(PdfPrinterTest, IsFoundByItsNameOrDescription)
{
    t.printers.printers = {{QStringLiteral("Office"), QStringLiteral("Office laser")},
                           GetParam().printer};
    const std::optional<PrinterInfo> found = findPdfPrinter(t.printers);
    EXPECT_EQ(found.has_value(), GetParam().matches);
    if (found) {
        EXPECT_EQ(found->name, GetParam().printer.name);
    }
    CheckPdfPrinter(t.ctx);
    EXPECT_EQ(t.prompter.shown.size(), GetParam().matches ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Printers, PdfPrinterTest,
    ::testing::Values(
        PrinterCase{{QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")},
                    true},
        PrinterCase{{QStringLiteral("Vantorel PDF Writer"), QString()}, true},
        PrinterCase{{QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF")}, false},
        PrinterCase{{QStringLiteral("pdf"), QStringLiteral("vantorel pdf writer")}, false},
        PrinterCase{{QStringLiteral("pdf"), QStringLiteral("Vantorel PDF Writer ")}, false}));

TEST_F(ActionsTest, TheStartUpCheckExplainsHowToAddThePrinter)
{
    CheckPdfPrinter(t.ctx);
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_EQ(t.prompter.shown[0].text,
              QStringLiteral(
                  "Vantorel PDF Writer is not installed. Please follow these instructions:\r\n"
                  "\r\n"
                  "1) Go to Control Panel -> Printers and Faxes to add a local printer.\r\n"
                  "2) Choose ''CPW2: (Vantorel PDF Writer)'' on Select a Printer Port dialog box, "
                  "click Next.\r\n"
                  "3) Choose a Postscript printer (e.g. HP Color LaserJet PS), click Next.\r\n"
                  "4) Enter Vantorel PDF Writer as Printer name, click Next -> Finish."));
    EXPECT_EQ(t.prompter.shown[0].title, t.ctx.appTitle);
    EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(t.prompter.shown[0].buttons, MessageButtons::Ok);
}

TEST_F(ActionsTest, PdfPrintsTheTextOnThePdfQueueAndRemovesTheTemporaryFile)
{
    t.ctx.currentTable = QStringLiteral("Customers");
    t.printers.printers = {
        {QStringLiteral("Office"), QStringLiteral("Office laser")},
        {QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    t.printers.defaultName = QStringLiteral("Office");
    QStringList tempWhileWriting;
    FakeGrid grid = exampleGrid();
    grid.beforeCell = [&](qsizetype, int) { tempWhileWriting = entriesOf(temp.path()); };

    mnuPDF_Click(t.ctx, grid, pointer, lastFileName);

    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_TRUE(t.files.calls.empty());
    ASSERT_EQ(t.printers.jobs.size(), 1u);
    EXPECT_EQ(t.printers.jobs[0].printerName, QStringLiteral("Vantorel_PDF_Writer"));
    EXPECT_EQ(t.printers.jobs[0].documentName, QStringLiteral("Customers"));
    EXPECT_EQ(t.printers.jobs[0].text, QString::fromUtf8(kExports[0].exampleBytes));
    EXPECT_FALSE(tempWhileWriting.isEmpty()) << "the text went through a temporary file";
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty()) << "and it is gone";
    EXPECT_EQ(pointer.pointer(), Pointer::Default);
}

TEST_F(ActionsTest, AFailedPrintIsReportedAndTheTemporaryFileStillGoes)
{
    t.printers.printers = {
        {QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    t.printers.failure = QStringLiteral("The printer refused the job.");
    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_EQ(
        t.prompter.errors()[0].text,
        applicationErrorText(QStringLiteral("The printer refused the job."), loc::Form3_Pdf, 112));
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty());
}

TEST_F(ActionsTest, WithoutTheTemporaryFolderPdfReportsAndLeavesThePrintersAlone)
{
    const TempPathOverride missing(path(QStringLiteral("no such folder")));
    t.printers.printers = {
        {QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_TRUE(
        t.prompter.errors()[0].text.contains(loc::Form3_Pdf + QStringLiteral("at line 100")));
    EXPECT_TRUE(t.printers.jobs.empty());
    EXPECT_TRUE(t.files.calls.empty());
}

TEST_F(ActionsTest, WithoutThePrinterPdfAsksForAFileAndWritesThePdf)
{
    t.ctx.currentTable = QStringLiteral("Customers");
    lastFileName = path(QStringLiteral("earlier.txt"));
    const QString chosen = path(QStringLiteral("customers.pdf"));
    t.files.answers = {chosen};

    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName);

    EXPECT_TRUE(t.prompter.shown.empty());
    ASSERT_EQ(t.files.calls.size(), 1u);
    EXPECT_EQ(t.files.calls[0].title, QStringLiteral("Save"));
    EXPECT_EQ(t.files.calls[0].filter, QStringLiteral("PDF Files (*.pdf)|*.pdf"));
    EXPECT_EQ(t.files.calls[0].initialName, path(QStringLiteral("earlier.pdf")));
    EXPECT_EQ(lastFileName, chosen);
    const ProcessResult text =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), chosen, QStringLiteral("-")});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.filter(QRegularExpression(QStringLiteral("^id +name$"))).size() == 1)
        << text.out.toStdString();
    EXPECT_TRUE(lines.filter(QRegularExpression(QStringLiteral("^1 +Ann$"))).size() == 1)
        << text.out.toStdString();
    EXPECT_TRUE(lines.filter(QRegularExpression(QStringLiteral("^2$"))).size() == 1)
        << text.out.toStdString();
    EXPECT_TRUE(QString::fromUtf8(text.out).contains(QStringLiteral("Page 1 of 1")));
    const ProcessResult info = run(QStringLiteral("pdfinfo"), {chosen});
    EXPECT_TRUE(QString::fromUtf8(info.out).contains(
        QRegularExpression(QStringLiteral("Title: +Customers"))));
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty());
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("customers.pdf")});
}

TEST_F(ActionsTest, WithoutThePrinterACancelledDialogWritesNothing)
{
    t.files.answers = {QString()};
    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    EXPECT_EQ(t.files.calls.size(), 1u);
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty());
}

TEST_F(ActionsTest, AFallbackPdfThatCannotBeWrittenIsReported)
{
    t.files.answers = {path(QStringLiteral("missing/out.pdf"))};
    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_TRUE(
        t.prompter.errors()[0].text.contains(loc::Form3_Pdf + QStringLiteral("at line 112")));
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
    EXPECT_TRUE(entriesOf(temp.path()).isEmpty());
}

// --- where the PDF printer puts its files ------------------------------------------------

TEST_F(ActionsTest, AfterPrintingTheNoticeSaysWhereThePrinterPutsItsFilesWithoutABox)
{
    t.ctx.currentTable = QStringLiteral("Customers");
    t.printers.printers = {
        {QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    QStringList notices;
    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName,
                 [&](const QString& note) { notices << note; });
    EXPECT_TRUE(t.prompter.shown.empty());
    ASSERT_EQ(t.printers.jobs.size(), 1u);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0], pdfPrintedNotice(QStringLiteral("Customers"), cupsPdfOutputFolder()));
    EXPECT_TRUE(notices[0].startsWith(
        QStringLiteral("The PDF of Customers was printed on Vantorel PDF Writer, which saves its files in ")))
        << notices[0].toStdString();
}

TEST_F(ActionsTest, NoNoticeWhenNothingWasPrintedOnTheQueue)
{
    QStringList notices;
    const auto collect = [&](const QString& note) { notices << note; };
    // A refused job: the report, no notice.
    t.printers.printers = {
        {QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    t.printers.failure = QStringLiteral("The printer refused the job.");
    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName, collect);
    EXPECT_EQ(t.prompter.errors().size(), 1u);
    // No printer: the file the user chose is where the PDF is; nothing more to say.
    t.printers.printers.clear();
    t.files.answers = {path(QStringLiteral("out.pdf"))};
    mnuPDF_Click(t.ctx, exampleGrid(), pointer, lastFileName, collect);
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("out.pdf"))));
    EXPECT_TRUE(notices.isEmpty()) << notices.join(QLatin1Char('\n')).toStdString();
}

struct FolderCase {
    const char* name;
    const char* configuration; // nullptr: no file
    QString expected;          // ~ for the home folder, @ for the user's name
};

TEST_F(ActionsTest, ThePrintersFolderComesFromItsConfiguration)
{
    const std::vector<FolderCase> cases = {
        {"Debian's own", "### Key: Out\n#Out /var/spool/cups-pdf/${USER}\nOut ${HOME}/PDF\n", "~/PDF"},
        {"a folder of its own", "Out /srv/pdf/${USER}/out/\n", "/srv/pdf/@/out"},
        {"blanks around", "  Out \t /srv/with space/pdf  \n", "/srv/with space/pdf"},
        {"only commented", "#Out ${HOME}/PDF\nGrp lpadmin\n", "/var/spool/cups-pdf/@"},
        {"no file", nullptr, QString()},
    };
    const struct passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    for (const FolderCase& c : cases) {
        const QString conf = path(QStringLiteral("cups-pdf-%1.conf").arg(&c - cases.data()));
        if (c.configuration)
            writeAll(conf, QByteArray(c.configuration));
        QString expected = c.expected;
        expected.replace(QLatin1Char('~'), QDir::homePath());
        expected.replace(QLatin1Char('@'), QString::fromLocal8Bit(user->pw_name));
        EXPECT_EQ(cupsPdfOutputFolder(conf), expected) << c.name;
    }
    EXPECT_EQ(pdfPrintedNotice(QStringLiteral("T"), QStringLiteral("/srv/pdf")),
              QStringLiteral("The PDF of T was printed on Vantorel PDF Writer, which saves its files in /srv/pdf."));
    EXPECT_EQ(pdfPrintedNotice(QStringLiteral("T"), QString()),
              QStringLiteral("The PDF of T was printed on Vantorel PDF Writer, which saves its files in "
                             "the folder its configuration names (with cups-pdf usually the folder PDF in "
                             "your home folder)."));
}

} // namespace
} // namespace tabulon::test
