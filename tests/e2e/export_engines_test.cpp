// The editor's exports of one table of everyday types, read from each engine through the
// program's own grid: the same values give the same files, except where the engine itself
// reports a value in another form (the test names the engine there).
#include "Program.h"
#include "platform/PostScriptTable.h"
#include "support/PdfText.h"
#include "tables/DataGrid.h"
#include "tables/Form3.h"

#include <QAction>
#include <QLabel>
#include <QStandardPaths>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabulon;
using tabulon::test::Program;
using tabulon::test::TestDatabase;
using tabulon::test::pdfPageCount;
using tabulon::test::pdfTableFailure;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The cells of the workbook's sheet, row by row ("" for an empty cell), read from the sheet's
// XML inside the .xlsx by Python's zipfile and ElementTree: a text cell as its text, a number
// as "number:" and its value, a number with a date format as "date:" and the date and time it
// stands for (from the sheet's day count since 1899-12-30, to the millisecond).
std::vector<QStringList> workbookCells(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral(
                      "import sys, zipfile, re, datetime, xml.etree.ElementTree as ET\n"
                      "ns = {'s': 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'}\n"
                      "book = zipfile.ZipFile(sys.argv[1])\n"
                      "shared = []\n"
                      "if 'xl/sharedStrings.xml' in book.namelist():\n"
                      "    for si in ET.fromstring(book.read('xl/sharedStrings.xml')).findall('s:si', ns):\n"
                      "        shared.append(''.join(t.text or '' for t in si.iter('{%s}t' % ns['s'])))\n"
                      "sheet = ET.fromstring(book.read('xl/worksheets/sheet1.xml'))\n"
                      "def col(ref):\n"
                      "    n = 0\n"
                      "    for ch in re.match('[A-Z]+', ref).group(0): n = n * 26 + ord(ch) - 64\n"
                      "    return n - 1\n"
                      "out = []\n"
                      "for row in sheet.iter('{%s}row' % ns['s']):\n"
                      "    cells = {}\n"
                      "    for c in row.findall('s:c', ns):\n"
                      "        t = c.get('t')\n"
                      "        if t == 's': text = shared[int(c.find('s:v', ns).text)]\n"
                      "        elif t == 'inlineStr': text = ''.join(x.text or '' for x in c.iter('{%s}t' % ns['s']))\n"
                      "        elif c.get('s', '0') != '0':\n"
                      "            when = datetime.datetime(1899, 12, 30) + datetime.timedelta(days=float(c.findtext('s:v', '', ns)))\n"
                      "            when = when + datetime.timedelta(microseconds=500)\n"
                      "            text = 'date:' + when.strftime('%Y-%m-%d %H:%M:%S.%f')[:-3]\n"
                      "        else: text = 'number:%.15g' % float(c.findtext('s:v', '', ns))\n"
                      "        cells[col(c.get('r'))] = text\n"
                      "    width = max(cells) + 1 if cells else 0\n"
                      "    out.append('\\t'.join(cells.get(i, '') for i in range(width)))\n"
                      "sys.stdout.buffer.write('\\n'.join(out).encode('utf-8'))\n"),
                  path});
    std::vector<QStringList> rows;
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 could not read the workbook: " << python.readAllStandardError().toStdString();
        return rows;
    }
    for (const QString& line : QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n')))
        rows.push_back(line.split(QLatin1Char('\t')));
    return rows;
}

} // namespace

TEST(ExportedTable, EverydayTypesGiveTheSameFilesOnEitherEngine)
{
    Program p;
    TestDatabase& db = p.db;
    // Text literals that keep every character on T-SQL need the N prefix, which SQLite lacks.
    const std::string n = db.isTsql() ? "N" : "";
    db.exec("CREATE TABLE Goods (id int NOT NULL PRIMARY KEY, qty int NULL, price decimal(10,2) NULL,"
            " cost money NULL, made datetime2 NULL, name nvarchar(40) NULL);");
    db.exec("INSERT INTO Goods (id, qty, price, cost, made, name) VALUES"
            " (1, 5, 12.50, 3.25, '2024-03-31 14:30:00', " + n + "'Zoë – 日本 Ωμέγα');"
            "INSERT INTO Goods (id, qty, price, cost, made, name) VALUES (2, NULL, NULL, NULL, NULL, NULL);"
            "INSERT INTO Goods (id, qty, price, cost, made, name) VALUES"
            " (3, -7, 0.05, 1234.5678, '1999-12-31 23:59:59', " + n + "'Ann, \"quoted\" <b>&');");
    p.flow->start();
    p.openTable(QStringLiteral("Goods"));
    Form3& editor = p.flow->form3();
    ASSERT_EQ(editor.DataGrid1->approximateRowCount(), 3);

    const QString txt = p.dir.filePath(QStringLiteral("goods.txt"));
    const QString csv = p.dir.filePath(QStringLiteral("goods.csv"));
    const QString xml = p.dir.filePath(QStringLiteral("goods.xml"));
    std::vector<QStringList> workbook;
    p.t.files.answers = {txt, csv, xml};
    editor.mnuTXT->trigger();
    editor.mnuCSV->trigger();
    editor.mnuXML->trigger();
    {
        // The workbook goes to a private file in the temporary folder: here, one of the test's own.
        QTemporaryDir temp;
        const QByteArray before = qgetenv("TMPDIR");
        const bool had = qEnvironmentVariableIsSet("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        p.t.launcher.programsOnPath = {QStringLiteral("localc")};
        editor.mnuXLS->trigger();
        had ? qputenv("TMPDIR", before) : qunsetenv("TMPDIR");
        ASSERT_EQ(p.t.launcher.started.size(), 1u);
        workbook = workbookCells(p.t.launcher.started[0].last());
    }
    EXPECT_TRUE(p.t.prompter.shown.empty()) << p.t.prompter.texts().join(QLatin1Char('\n')).toStdString();

    // SQLite keeps decimal and money values as floating-point numbers (12.50 is stored as 12.5)
    // and a datetime2 as the text it was given; a T-SQL server reports a decimal at its scale,
    // money with four decimals and datetime2 with seven fractional digits.
    const bool tsql = db.isTsql();
    const QString price1 = tsql ? QStringLiteral("12.50") : QStringLiteral("12.5");
    const QString cost1 = tsql ? QStringLiteral("3.2500") : QStringLiteral("3.25");
    const QString made1 = QStringLiteral("2024-03-31 14:30:00") + (tsql ? QStringLiteral(".0000000") : QString());
    const QString made3 = QStringLiteral("1999-12-31 23:59:59") + (tsql ? QStringLiteral(".0000000") : QString());
    const QString name1 = QStringLiteral("Zoë – 日本 Ωμέγα");
    const QString name3 = QStringLiteral("Ann, \"quoted\" <b>&");

    EXPECT_EQ(QString::fromUtf8(fileBytes(txt)),
              QStringLiteral("id\tqty\tprice\tcost\tmade\tname\t\r\n"
                             "1\t5\t%1\t%2\t%3\t%4\t\r\n"
                             "2\t\t\t\t\t\t\r\n"
                             "3\t-7\t0.05\t1234.5678\t%5\t%6\t\r\n")
                  .arg(price1, cost1, made1, name1, made3, name3));
    EXPECT_EQ(QString::fromUtf8(fileBytes(csv)),
              QStringLiteral("id,qty,price,cost,made,name\r\n"
                             "1,5,%1,%2,%3,%4\r\n"
                             "2,,,,,\r\n"
                             "3,-7,0.05,1234.5678,%5,\"Ann, \"\"quoted\"\" <b>&\"\r\n")
                  .arg(price1, cost1, made1, name1, made3));
    EXPECT_EQ(QString::fromUtf8(fileBytes(xml)),
              QStringLiteral("<xml>\r\n"
                             "<row>\r\n<id>1</id>\r\n<qty>5</qty>\r\n<price>%1</price>\r\n<cost>%2</cost>\r\n"
                             "<made>%3</made>\r\n<name>%4</name>\r\n</row>\r\n"
                             "<row>\r\n<id>2</id>\r\n<qty></qty>\r\n<price></price>\r\n<cost></cost>\r\n"
                             "<made></made>\r\n<name></name>\r\n</row>\r\n"
                             "<row>\r\n<id>3</id>\r\n<qty>-7</qty>\r\n<price>0.05</price>\r\n"
                             "<cost>1234.5678</cost>\r\n<made>%5</made>\r\n"
                             "<name>Ann, \"quoted\" &lt;b&gt;&amp;</name>\r\n</row>\r\n"
                             "</xml>")
                  .arg(price1, cost1, made1, name1, made3));
    // The workbook keeps each column's kind: numbers as numbers, the datetime2 as a date,
    // text as text; NULL leaves the cell empty. Both engines give the same cells.
    const std::vector<QStringList> expectedBook{
        {"id", "qty", "price", "cost", "made", "name"},
        {"number:1", "number:5", "number:12.5", "number:3.25", "date:2024-03-31 14:30:00.000", name1},
        {"number:2", "", "", "", "", ""},
        {"number:3", "number:-7", "number:0.05", "number:1234.5678", "date:1999-12-31 23:59:59.000", name3},
    };
    for (QStringList& row : workbook)
        while (row.size() < 6)
            row << QString();
    EXPECT_EQ(workbook, expectedBook);
}

// The workbook of a table of every kind of column, on either engine: integers, decimals,
// floating point and bit are number cells, date, datetime and time are date cells, and a text
// column keeps "0012" as text; NULL leaves the cell empty.
TEST(ExportedTable, WorkbookCellsKeepEachColumnsKindOnEitherEngine)
{
    Program p;
    TestDatabase& db = p.db;
    db.exec("CREATE TABLE Kinds (id int NOT NULL PRIMARY KEY, n int NULL, d decimal(10,2) NULL,"
            " f float NULL, b bit NULL, day date NULL, at datetime NULL, t time NULL,"
            " code nvarchar(10) NULL);");
    db.exec("INSERT INTO Kinds (id, n, d, f, b, day, at, t, code) VALUES"
            " (1, 5, 12.50, 0.25, 1, '2024-03-31', '2024-03-31 14:30:00', '14:30:00', '0012');"
            "INSERT INTO Kinds (id, n, d, f, b, day, at, t, code) VALUES"
            " (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
            "INSERT INTO Kinds (id, n, d, f, b, day, at, t, code) VALUES"
            " (3, -7, -0.05, 1.5, 0, '1999-12-31', '1999-12-31 23:59:59', '00:00:01', '');");
    p.flow->start();
    p.openTable(QStringLiteral("Kinds"));
    Form3& editor = p.flow->form3();
    ASSERT_EQ(editor.DataGrid1->approximateRowCount(), 3);

    std::vector<QStringList> workbook;
    {
        QTemporaryDir temp;
        const QByteArray before = qgetenv("TMPDIR");
        const bool had = qEnvironmentVariableIsSet("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        p.t.launcher.programsOnPath = {QStringLiteral("localc")};
        editor.mnuXLS->trigger();
        had ? qputenv("TMPDIR", before) : qunsetenv("TMPDIR");
        ASSERT_EQ(p.t.launcher.started.size(), 1u);
        workbook = workbookCells(p.t.launcher.started[0].last());
    }
    EXPECT_TRUE(p.t.prompter.shown.empty()) << p.t.prompter.texts().join(QLatin1Char('\n')).toStdString();

    const std::vector<QStringList> expected{
        {"id", "n", "d", "f", "b", "day", "at", "t", "code"},
        {"number:1", "number:5", "number:12.5", "number:0.25", "number:1",
         "date:2024-03-31 00:00:00.000", "date:2024-03-31 14:30:00.000",
         "date:1899-12-30 14:30:00.000", "0012"},
        {"number:2", "", "", "", "", "", "", "", ""},
        {"number:3", "number:-7", "number:-0.05", "number:1.5", "number:0",
         "date:1999-12-31 00:00:00.000", "date:1999-12-31 23:59:59.000",
         "date:1899-12-30 00:00:01.000", ""},
    };
    for (QStringList& row : workbook)
        while (row.size() < 9)
            row << QString();
    EXPECT_EQ(workbook, expected);
}

// The PDF of a table read from each engine: as a file (no PDF printer installed) and as the
// job the printer queue gets (turned into PDF by Ghostscript, as cups-pdf does), pdftotext
// gives every row back with its columns where the header's start, accents and Greek included.
// After the job went to the queue, the editor says where the printer puts its files, in a
// line under the grid and without a box.
TEST(ExportedTable, ThePdfReadsAsATableOnEitherEngine)
{
    Program p;
    TestDatabase& db = p.db;
    const std::string n = db.isTsql() ? "N" : "";
    db.exec("CREATE TABLE People (id int NOT NULL PRIMARY KEY, name nvarchar(40) NULL,"
            " city nvarchar(40) NULL, note nvarchar(60) NULL);");
    std::vector<QStringList> rows = {
        {"1", "Zoë Ångström", "Αθήνα", "café crème"},
        {"2", "Иван Петров", "", "no city"},
        {"3", "Ελληνικά", "Θεσσαλονίκη", ""},
    };
    for (int i = 4; i <= 90; ++i)
        rows.push_back({QString::number(i), QStringLiteral("name %1").arg(i), QStringLiteral("city %1").arg(i % 5),
                        QStringLiteral("n")});
    for (const QStringList& r : rows) {
        auto literal = [&](const QString& v) {
            return v.isEmpty() ? std::string("NULL") : n + "'" + v.toStdString() + "'";
        };
        db.exec("INSERT INTO People (id, name, city, note) VALUES (" + r[0].toStdString() + ", " +
                literal(r[1]) + ", " + literal(r[2]) + ", " + literal(r[3]) + ");");
    }
    p.flow->start();
    p.openTable(QStringLiteral("People"));
    Form3& editor = p.flow->form3();
    ASSERT_EQ(editor.DataGrid1->approximateRowCount(), int(rows.size()));
    const QStringList header{"id", "name", "city", "note"};

    // No printer: the file.
    p.t.printers.printers.clear();
    const QString file = p.dir.filePath(QStringLiteral("people.pdf"));
    p.t.files.answers = {file};
    editor.mnuPDF->trigger();
    const int filePages = pdfPageCount(file);
    EXPECT_GE(filePages, 2);
    QString failure = pdfTableFailure(file, header, rows, filePages);
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    const auto* note = editor.findChild<QLabel*>(QStringLiteral("StatusNotice"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().isEmpty()) << "a file the user chose needs no note";

    // The queue.
    p.t.printers.printers = {{QStringLiteral("Vantorel_PDF_Writer"), QStringLiteral("Vantorel PDF Writer")}};
    editor.mnuPDF->trigger();
    EXPECT_TRUE(p.t.prompter.shown.empty()) << p.t.prompter.texts().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(p.t.printers.jobs.size(), 1u);
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("The PDF of ") + p.listed(QStringLiteral("People")) +
                                        QStringLiteral(" was printed on Vantorel PDF Writer, which saves its files in ")))
        << note->text().toStdString();

    const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
    if (gs.isEmpty())
        GTEST_SKIP() << "Ghostscript is not installed";
    const std::optional<TrueTypeFont> font = TrueTypeFont::load(findTableFontFile());
    ASSERT_TRUE(font.has_value());
    const QPageLayout page = tablePageLayout();
    const TableLayout layout = layoutTable(parseTabbedText(p.t.printers.jobs[0].text),
                                           tablePageMetrics(page, font->advanceEm()));
    const QString ps = p.dir.filePath(QStringLiteral("job.ps"));
    {
        QFile out(ps);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        ASSERT_GT(writeTablePostScript(layout, *font, page.pageSize().size(QPageSize::Point),
                                       p.t.printers.jobs[0].documentName,
                                       [&](const QByteArray& piece) { return out.write(piece) == piece.size(); }),
                  0);
    }
    const QString queued = p.dir.filePath(QStringLiteral("queued.pdf"));
    QProcess ghostscript;
    ghostscript.start(gs, {QStringLiteral("-q"), QStringLiteral("-dCompatibilityLevel=1.4"), QStringLiteral("-dNOPAUSE"),
                           QStringLiteral("-dBATCH"), QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pdfwrite"),
                           QStringLiteral("-sOutputFile=") + queued, ps});
    ASSERT_TRUE(ghostscript.waitForFinished(120000));
    ASSERT_EQ(ghostscript.exitCode(), 0) << ghostscript.readAllStandardError().toStdString();
    failure = pdfTableFailure(queued, header, rows, pdfPageCount(queued));
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
}
