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

} // namespace
} // namespace tabulon::test
