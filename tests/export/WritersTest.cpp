#include "ExportTestSupport.h"
#include "export/ExportFile.h"
#include "export/GridWriters.h"
#include "support/Fakes.h"

#include "app/ErrorReport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tabulon::test {
namespace {

using WriterFn = ExportResult (*)(const AppContext&, const GridSource&, const QString&,
                                  ExportProgress*);

struct Format {
    const char* name;
    WriterFn writer;
    QString location;
    int writeLine;
    int cellLine;
};

const Format kText{"txt", &SaveDataGridToFile, loc::Grid_SaveText, 134, 126};
const Format kXml{"xml", &SaveDataGridToXMLFile, loc::Grid_SaveXml, 130, 120};
const Format kCsv{"csv", &SaveDataGridToCSVFile, loc::Grid_SaveCsv, 134, 126};

class WriterTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    TestContext t;
};

// --- layouts, byte for byte -----------------------------------------------------------------

struct LayoutCase {
    const Format* format;
    bool empty;
    QByteArray expected;
};

class LayoutTest : public WriterTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutTest, WritesTheExampleByteForByte)
{
    const LayoutCase& c = GetParam();
    const FakeGrid grid = c.empty ? emptyGrid() : exampleGrid();
    const QString file = path(QStringLiteral("out.") + QLatin1String(c.format->name));
    EXPECT_EQ(c.format->writer(t.ctx, grid, file, nullptr), ExportResult::Written);
    EXPECT_EQ(readAll(file), c.expected);
    EXPECT_TRUE(t.prompter.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutTest,
    ::testing::Values(
        LayoutCase{&kText, false, "id\tname\t\r\n1\tAnn\t\r\n2\t\t\r\n"},
        LayoutCase{&kText, true, "id\tname\t\r\n"},
        LayoutCase{
            &kXml, false,
            "<xml>\r\n<row>\r\n<id>1</id>\r\n<name>Ann</name>\r\n</row>\r\n<row>\r\n<id>2</id>\r\n"
            "<name></name>\r\n</row>\r\n</xml>"},
        LayoutCase{&kXml, true, "<xml>\r\n</xml>"},
        LayoutCase{&kCsv, false, "id,name\r\n1,Ann\r\n2,\r\n"},
        LayoutCase{&kCsv, true, "id,name\r\n"}));

TEST_F(WriterTest, TextKeepsTabsAndLineBreaksInCellsAndReplacesAnOldFile)
{
    const FakeGrid grid({QStringLiteral("a\tb"), QStringLiteral("c")},
                        {{QStringLiteral("x\ty"), QStringLiteral("line1\r\nline2\nline3\r")},
                         {QString(), QStringLiteral("Größe €")}});
    const QString file = path(QStringLiteral("t.txt"));
    writeAll(file, QByteArray(1000, 'o'));
    EXPECT_EQ(SaveDataGridToFile(t.ctx, grid, file), ExportResult::Written);
    EXPECT_EQ(readAll(file),
              QByteArray("a\tb\tc\t\r\nx\ty\tline1\r\nline2\nline3\r\t\r\n\tGr\xC3\xB6\xC3\x9F"
                         "e \xE2\x82\xAC\t\r\n"));
}

TEST_F(WriterTest, XmlEscapesTextsAndEncodesNames)
{
    const FakeGrid grid({QStringLiteral("Order Date"), QStringLiteral("a&b")},
                        {{QStringLiteral("1 < 2 & 3 > 2"), QStringLiteral("\"q\" 'a'")}});
    const QString file = path(QStringLiteral("t.xml"));
    EXPECT_EQ(SaveDataGridToXMLFile(t.ctx, grid, file), ExportResult::Written);
    EXPECT_EQ(
        readAll(file),
        QByteArray(
            "<xml>\r\n<row>\r\n<Order_x0020_Date>1 &lt; 2 &amp; 3 &gt; 2</Order_x0020_Date>\r\n"
            "<a_x0026_b>\"q\" 'a'</a_x0026_b>\r\n</row>\r\n</xml>"));
}

// --- read back by real parsers --------------------------------------------------------------

FakeGrid awkwardGrid()
{
    return FakeGrid(
        {QStringLiteral("Order Date"), QStringLiteral("a&b"), QStringLiteral("1st"),
         QStringLiteral("Größe"), QStringLiteral("x:y"), QStringLiteral("plain")},
        {{QStringLiteral("2024-01-02"), QStringLiteral("Tom & Jerry <3"),
          QStringLiteral("\"quoted\", 'too'"), QStringLiteral("Straße €5 日本"),
          QStringLiteral("a\r\nb\nc\rd"), QString()},
         {QString(), QStringLiteral(">>"), QStringLiteral("tab\there"),
          QStringLiteral(" lead and trail "), QStringLiteral("]]>"), QStringLiteral(",")}});
}

TEST_F(WriterTest, XmllintAcceptsTheFileAndReadsEveryValueBack)
{
    const FakeGrid grid = awkwardGrid();
    const QString file = path(QStringLiteral("read back.xml"));
    ASSERT_EQ(SaveDataGridToXMLFile(t.ctx, grid, file), ExportResult::Written);
    const ProcessResult lint = run(QStringLiteral("xmllint"), {QStringLiteral("--noout"), file});
    ASSERT_TRUE(lint.started) << "xmllint is missing";
    EXPECT_EQ(lint.exitCode, 0) << lint.err.toStdString();

    const QStringList expectedNames{QStringLiteral("Order_x0020_Date"), QStringLiteral("a_x0026_b"),
                                    QStringLiteral("_x0031_st"),        QStringLiteral("Größe"),
                                    QStringLiteral("x_x003A_y"),        QStringLiteral("plain")};
    for (int row = 0; row < grid.rowCount(); ++row) {
        for (int column = 0; column < grid.columnCount(); ++column) {
            const QString node = QStringLiteral("/xml/row[%1]/*[%2]").arg(row + 1).arg(column + 1);
            const ProcessResult name =
                run(QStringLiteral("xmllint"),
                    {QStringLiteral("--xpath"), QStringLiteral("name(%1)").arg(node), file});
            EXPECT_EQ(QString::fromUtf8(name.out).trimmed(), expectedNames.at(column));
            // concat() marks the end, so trailing blanks and line ends are compared too.
            const ProcessResult value =
                run(QStringLiteral("xmllint"),
                    {QStringLiteral("--xpath"), QStringLiteral("concat(%1, '|')").arg(node), file});
            QString text = QString::fromUtf8(value.out);
            if (text.endsWith(QLatin1Char('\n')))
                text.chop(1);
            EXPECT_EQ(text, grid.cellText(row, column) + QLatin1Char('|'))
                << "row " << row << " column " << column;
        }
    }
}

QJsonArray readCsvWithPython(const QString& file)
{
    const ProcessResult r =
        run(QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import csv, json, sys\n"
                            "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                            "    print(json.dumps(list(csv.reader(f))))\n"),
             file});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).array();
}

QJsonArray gridAsJson(const GridSource& grid)
{
    QJsonArray lines;
    QJsonArray header;
    for (int column = 0; column < grid.columnCount(); ++column)
        header.append(grid.caption(column));
    lines.append(header);
    for (qsizetype row = 0; row < grid.rowCount(); ++row) {
        QJsonArray line;
        for (int column = 0; column < grid.columnCount(); ++column)
            line.append(grid.cellText(row, column));
        lines.append(line);
    }
    return lines;
}

TEST_F(WriterTest, PythonCsvReadsTheCellsBackExactly)
{
    const FakeGrid awkward = awkwardGrid();
    // One column: an empty cell must still read back as one empty field.
    const FakeGrid single(
        {QStringLiteral("only")},
        {{QStringLiteral("a")}, {std::nullopt}, {QString()}, {QStringLiteral("b,c")}});
    for (const FakeGrid* grid : {&awkward, &single}) {
        const QString file = path(QStringLiteral("read back.csv"));
        ASSERT_EQ(SaveDataGridToCSVFile(t.ctx, *grid, file), ExportResult::Written);
        EXPECT_EQ(readCsvWithPython(file), gridAsJson(*grid));
    }
}

// --- failures ------------------------------------------------------------------------------

struct CellFailureCase {
    const Format* format;
    QByteArray expected; // a cell of row 1, column 0 fails
};

class CellFailureTest : public WriterTest, public ::testing::WithParamInterface<CellFailureCase> {};

TEST_P(CellFailureTest, ReportsTheCellAndGoesOn)
{
    const CellFailureCase& c = GetParam();
    FakeGrid grid = exampleGrid();
    grid.beforeCell = [](qsizetype row, int column) {
        if (row == 1 && column == 0)
            throw AppError(QStringLiteral("Cell unreadable"));
    };
    const QString file = path(QStringLiteral("cells"));
    EXPECT_EQ(c.format->writer(t.ctx, grid, file, nullptr), ExportResult::Written);
    EXPECT_EQ(readAll(file), c.expected);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_EQ(t.prompter.errors().front().text,
              applicationErrorText(QStringLiteral("Cell unreadable"), c.format->location,
                                   c.format->cellLine));
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CellFailureTest,
    ::testing::Values(CellFailureCase{&kText, "id\tname\t\r\n1\tAnn\t\r\n\t\t\r\n"},
                      CellFailureCase{&kCsv, "id,name\r\n1,Ann\r\n,\r\n"},
                      // The XML line of a failed cell is dropped whole.
                      CellFailureCase{
                          &kXml,
                          "<xml>\r\n<row>\r\n<id>1</id>\r\n<name>Ann</name>\r\n</row>\r\n<row>\r\n"
                          "<name></name>\r\n</row>\r\n</xml>"}));

TEST_F(WriterTest, AFailedCaptionIsReportedAtItsStatement)
{
    FakeGrid grid = exampleGrid();
    grid.beforeCaption = [](int column) {
        if (column == 1)
            throw AppError(QStringLiteral("No caption"));
    };
    EXPECT_EQ(SaveDataGridToFile(t.ctx, grid, path(QStringLiteral("c.txt"))),
              ExportResult::Written);
    EXPECT_EQ(readAll(path(QStringLiteral("c.txt"))),
              QByteArray("id\t\t\r\n1\tAnn\t\r\n2\t\t\r\n"));
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_EQ(t.prompter.errors().front().text,
              applicationErrorText(QStringLiteral("No caption"), loc::Grid_SaveText, 104));
}

struct WriteFailureCase {
    const Format* format;
    bool deviceFull; // else: a folder that does not exist
};

class WriteFailureTest : public WriterTest,
                         public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(WriteFailureTest, IsReportedAtTheWriteStatementAndLeavesNoFile)
{
    const WriteFailureCase& c = GetParam();
    QString file = path(QStringLiteral("missing/folder/out.txt"));
    if (c.deviceFull) {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            GTEST_SKIP() << "this system has no /dev/full";
        file = QStringLiteral("/dev/full");
    }
    EXPECT_EQ(c.format->writer(t.ctx, exampleGrid(), file, nullptr), ExportResult::Failed);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    const QString text = t.prompter.errors().front().text;
    EXPECT_TRUE(text.contains(QStringLiteral("\r\n") + c.format->location +
                              QStringLiteral("at line ") + QString::number(c.format->writeLine) +
                              QStringLiteral("\r\r")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(file)) << text.toStdString();
    if (c.deviceFull) {
        struct stat info {};
        ASSERT_EQ(::stat("/dev/full", &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device must be written, never replaced";
    } else {
        EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("missing"))));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteFailureTest,
    ::testing::Values(WriteFailureCase{&kText, false}, WriteFailureCase{&kText, true},
                      WriteFailureCase{&kXml, false}, WriteFailureCase{&kXml, true},
                      WriteFailureCase{&kCsv, false}, WriteFailureCase{&kCsv, true}));

// A grid whose text is several pieces of the file writer long, so the file fails part way.
FakeGrid bigGrid(int rows)
{
    std::vector<FakeGrid::Row> data;
    data.reserve(std::size_t(rows));
    const QString filler(90, QLatin1Char('x'));
    for (int i = 0; i < rows; ++i)
        data.push_back({QString::number(i), filler});
    return FakeGrid({QStringLiteral("n"), QStringLiteral("filler")}, std::move(data));
}

// Files may grow to `bytes` only while the guard lives, as on a disk that fills up.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(WriterTest, AFileThatFillsUpPartWayLeavesTheOldFileUntouched)
{
    const FakeGrid grid = bigGrid(100000); // about 10 MB of text
    for (const Format* format : {&kText, &kXml, &kCsv}) {
        t.prompter.clear();
        const QString file = path(QStringLiteral("old.") + QLatin1String(format->name));
        writeAll(file, "the old contents");
        ExportResult result;
        {
            const FileSizeLimit limit(1 << 20);
            result = format->writer(t.ctx, grid, file, nullptr);
        }
        EXPECT_EQ(result, ExportResult::Failed) << format->name;
        EXPECT_EQ(readAll(file), QByteArray("the old contents")) << format->name;
        ASSERT_EQ(t.prompter.errors().size(), 1u) << format->name;
        EXPECT_TRUE(t.prompter.errors().front().text.contains(
            format->location + QStringLiteral("at line ") + QString::number(format->writeLine)));
    }
    // No temporary file is left beside the targets.
    EXPECT_EQ(entriesOf(dir.path()).size(), 3);
}

// --- cancel --------------------------------------------------------------------------------

class CancelAt : public ExportProgress {
public:
    explicit CancelAt(qsizetype row) : row_(row) {}
    bool advance(qsizetype rowsDone) override
    {
        reports.push_back(rowsDone);
        return rowsDone < row_;
    }
    std::vector<qsizetype> reports;

private:
    qsizetype row_;
};

TEST_F(WriterTest, ACancelledExportWritesNothingAndKeepsTheOldFile)
{
    const FakeGrid grid = bigGrid(100000);
    for (const Format* format : {&kText, &kXml, &kCsv}) {
        const QString fresh = path(QStringLiteral("new.") + QLatin1String(format->name));
        const QString old = path(QStringLiteral("old.") + QLatin1String(format->name));
        writeAll(old, "the old contents");
        CancelAt late(90000);
        EXPECT_EQ(format->writer(t.ctx, grid, fresh, &late), ExportResult::Cancelled);
        CancelAt early(256);
        EXPECT_EQ(format->writer(t.ctx, grid, old, &early), ExportResult::Cancelled);
        EXPECT_FALSE(QFileInfo::exists(fresh)) << format->name;
        EXPECT_EQ(readAll(old), QByteArray("the old contents")) << format->name;
        EXPECT_EQ(late.reports.front(), 256);
    }
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_EQ(entriesOf(dir.path()).size(), 3); // the old files only
}

TEST_F(WriterTest, ProgressHearsOfEveryBlockOfRowsAndTheEnd)
{
    CancelAt never(1 << 30);
    EXPECT_EQ(SaveDataGridToFile(t.ctx, bigGrid(600), path(QStringLiteral("p.txt")), &never),
              ExportResult::Written);
    EXPECT_EQ(never.reports, (std::vector<qsizetype>{256, 512, 600}));
}

TEST_F(WriterTest, WriteStringToFileReplacesTheFileWhole)
{
    const QString file = path(QStringLiteral("w.txt"));
    writeAll(file, "old");
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    WriteStringToFile("new text", file);
    EXPECT_EQ(readAll(file), QByteArray("new text"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the replaced file keeps its permissions";
    EXPECT_THROW(WriteStringToFile("x", path(QStringLiteral("no/such/w.txt"))), AppError);
}

} // namespace
} // namespace tabulon::test
