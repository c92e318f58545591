// The editor's exports of one table of everyday types, read from each engine through the
// program's own grid: the same values give the same files, except where the engine itself
// reports a value in another form (the test names the engine there).
#include "Program.h"
#include "tables/DataGrid.h"
#include "tables/Form3.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabulon;
using tabulon::test::Program;
using tabulon::test::TestDatabase;

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
