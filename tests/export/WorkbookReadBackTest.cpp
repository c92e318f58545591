#include "ExportTestSupport.h"
#include "export/ExportActions.h"
#include "support/Fakes.h"

#include "app/WindowConventions.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace tabulon::test {
namespace {

// The workbook read back by LibreOffice itself: converted to CSV with every text cell quoted,
// so a number or formula where the grid showed text would show unquoted.
TEST(WorkbookReadBackTest, LibreOfficeReadsTheHeaderRowsAndTextCells)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";

    QTemporaryDir temp;
    const TempPathOverride tempPath(temp.path());
    TestContext t;
    t.launcher.programsOnPath = {QStringLiteral("localc")};
    QWidget window;
    PointerController pointer(&window);
    const FakeGrid grid(
        {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("note"),
         QStringLiteral("last")},
        {{QStringLiteral("1"), QStringLiteral("Ann"), QStringLiteral("007"), std::nullopt},
         {QStringLiteral("2"), std::nullopt, QStringLiteral("=1+1"), QString()},
         {QStringLiteral("3"), QStringLiteral("Zoë 日本"), QStringLiteral("1.50"),
          QStringLiteral("a much longer text than the others")}});

    mnuXLS_Click(t.ctx, grid, pointer);
    ASSERT_TRUE(t.prompter.shown.empty());
    ASSERT_EQ(t.launcher.started.size(), 1u);
    const QString book = t.launcher.started[0].last();

    QTemporaryDir out;
    const QString profile = QUrl::fromLocalFile(out.filePath(QStringLiteral("profile"))).toString();
    const ProcessResult convert =
        run(soffice,
            {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
             QStringLiteral("--convert-to"),
             QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,false,true"),
             QStringLiteral("--outdir"), out.path(), book},
            180000);
    ASSERT_TRUE(convert.finished) << "LibreOffice did not finish";
    ASSERT_EQ(convert.exitCode, 0) << convert.err.toStdString();
    const QString csv = out.filePath(QFileInfo(book).completeBaseName() + QStringLiteral(".csv"));
    EXPECT_EQ(
        QString::fromUtf8(readAll(csv)),
        QStringLiteral("\"id\",\"name\",\"note\",\"last\"\n"
                       "\"1\",\"Ann\",\"007\",\n"
                       "\"2\",,\"=1+1\",\n"
                       "\"3\",\"Zoë 日本\",\"1.50\",\"a much longer text than the others\"\n"));

    // Column widths are set from the texts: one <col> per column, the long one widest.
    const ProcessResult sheet =
        run(QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral(
                 "import sys, zipfile\n"
                 "print(zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml').decode())\n"),
             book});
    ASSERT_EQ(sheet.exitCode, 0) << sheet.err.toStdString();
    std::vector<double> widths;
    QRegularExpression col(QStringLiteral("<col min=\"(\\d+)\" max=\"\\1\" width=\"([0-9.]+)\""));
    for (auto it = col.globalMatch(QString::fromUtf8(sheet.out)); it.hasNext();)
        widths.push_back(it.next().captured(2).toDouble());
    ASSERT_EQ(widths.size(), 4u) << sheet.out.toStdString();
    EXPECT_LT(widths[0], widths[1]);
    EXPECT_GT(widths[3], 20.0);
    EXPECT_GT(widths[3], widths[1]);
    QFile::remove(book);
}

// Each column's kind decides its cells: numbers (integer, decimal, floating point, bit) are
// numeric cells, dates and times are numeric cells with a date format, text stays text ("0012"
// keeps its zeros), NULL leaves the cell empty. LibreOffice reads the workbook back, with a row
// of SUM formulas added below the data, and shows every cell as formatted.
TEST(WorkbookReadBackTest, TypedColumnsGiveNumbersDatesAndTextThatSumsAddUp)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";

    QTemporaryDir temp;
    const TempPathOverride tempPath(temp.path());
    TestContext t;
    t.launcher.programsOnPath = {QStringLiteral("localc")};
    QWidget window;
    PointerController pointer(&window);
    const auto s = [](const char* text) { return std::optional<QString>(QString::fromUtf8(text)); };
    const std::nullopt_t null = std::nullopt;
    FakeGrid grid({"id", "price", "ratio", "flag", "big", "day", "at", "clock", "code"},
                  {{s("1"), s("12.50"), s("0.25"), s("1"), s("9223372036854775807"),
                    s("2024-03-31"), s("2024-03-31 14:30:00.0000000"), s("14:30:00"), s("0012")},
                   {s("2"), null, s("1.5E-3"), s("0"), s("-5"), s("1899-12-31"),
                    s("1999-12-31 23:59:59.5"), null, s("")},
                   {s("-3"), s("-0.05"), null, null, null, null, null, s("00:00:00.250"), null}});
    grid.kinds = {CellKind::Number, CellKind::Number, CellKind::Float,
                  CellKind::Number, CellKind::Number, CellKind::Date,
                  CellKind::DateTime, CellKind::Time, CellKind::Text};

    mnuXLS_Click(t.ctx, grid, pointer);
    ASSERT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join(u'\n').toStdString();
    ASSERT_EQ(t.launcher.started.size(), 1u);
    const QString book = t.launcher.started[0].last();

    // The cells' XML: a number has no type mark, text is an inline string, a date has a style.
    QTemporaryDir out;
    const QString summed = out.filePath(QStringLiteral("summed.xlsx"));
    const ProcessResult sheet = run(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral(
             "import sys, re, zipfile\n"
             "src = zipfile.ZipFile(sys.argv[1])\n"
             "xml = src.read('xl/worksheets/sheet1.xml').decode()\n"
             "for c in re.finditer(r'<c r=\"([A-Z]+[0-9]+)\"([^>]*?)/?>', xml):\n"
             "    t = re.search(r't=\"(\\w+)\"', c.group(2))\n"
             "    style = 'styled' if re.search(r's=\"[1-9]', c.group(2)) else ''\n"
             "    print(c.group(1), t.group(1) if t else 'n', style)\n"
             "sums = ''.join('<c r=\"%s6\"><f>SUM(%s2:%s4)</f></c>' % (x, x, x) for x in 'ABCDE')\n"
             "xml = xml.replace('</sheetData>', '<row r=\"6\">' + sums + '</row></sheetData>')\n"
             "dst = zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED)\n"
             "for item in src.infolist():\n"
             "    data = xml.encode() if item.filename == 'xl/worksheets/sheet1.xml' else src.read(item)\n"
             "    dst.writestr(item, data)\n"
             "dst.close()\n"),
         book, summed});
    ASSERT_EQ(sheet.exitCode, 0) << sheet.err.toStdString();
    QStringList cells = QString::fromUtf8(sheet.out).split(u'\n', Qt::SkipEmptyParts);
    for (QString& cell : cells)
        cell = cell.trimmed();
    for (const char* expected :
         {"A2 n", "B2 n", "C2 n", "D2 n", "E2 inlineStr", "F2 n styled", "G2 n styled",
          "H2 n styled", "I2 inlineStr", "A4 n", "B4 n", "C3 n", "D3 n", "E3 n",
          "F3 inlineStr", "G3 n styled", "H4 n styled", "A1 inlineStr"})
        EXPECT_TRUE(cells.contains(QLatin1String(expected))) << expected << " in\n"
                                                             << sheet.out.toStdString();
    // NULL and the empty text leave no cell at all.
    for (const char* empty : {"B3 ", "I3 ", "C4 ", "D4 ", "E4 ", "F4 ", "G4 ", "H3 ", "I4 "})
        EXPECT_FALSE(cells.join(u'\n').contains(QLatin1String(empty))) << empty;

    const QString profile = QUrl::fromLocalFile(out.filePath(QStringLiteral("profile"))).toString();
    const ProcessResult convert =
        run(soffice,
            {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
             QStringLiteral("--convert-to"),
             QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,false,true"),
             QStringLiteral("--outdir"), out.path(), summed},
            180000);
    ASSERT_TRUE(convert.finished) << "LibreOffice did not finish";
    ASSERT_EQ(convert.exitCode, 0) << convert.err.toStdString();
    // Text quoted, numbers and dates as their formats show them, unquoted.
    EXPECT_EQ(QString::fromUtf8(readAll(out.filePath(QStringLiteral("summed.csv")))),
              QStringLiteral(
                  "\"id\",\"price\",\"ratio\",\"flag\",\"big\",\"day\",\"at\",\"clock\",\"code\"\n"
                  "1,12.5,0.25,1,\"9223372036854775807\",2024-03-31,2024-03-31 14:30:00,14:30:00,\"0012\"\n"
                  "2,,0.0015,0,-5,\"1899-12-31\",1999-12-31 23:59:59.500,,\n"
                  "-3,-0.05,,,,,,00:00:00.250,\n"
                  ",,,,,,,,\n"
                  "0,12.45,0.2515,1,-5,,,,\n"));
    QFile::remove(book);
}

} // namespace
} // namespace tabulon::test
