#include "app/Artwork.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "support/Fakes.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace tabulon;
using tabulon::test::TestContext;

TEST(HandlerSteps, AnErrorIsReportedWithItsLineAndTheNextStatementStillRuns)
{
    TestContext t;
    Handler h(t.ctx, loc::Form3_Back);
    std::vector<int> ran;
    h.step(100, [&] { ran.push_back(100); });
    h.step(102, [&] { throw std::runtime_error("Object required"); });
    h.step(104, [&] { ran.push_back(104); });

    EXPECT_EQ(ran, (std::vector<int>{100, 104}));
    ASSERT_EQ(t.prompter.shown.size(), 1u);
    const Message& box = t.prompter.shown.front();
    EXPECT_EQ(box.text, QStringLiteral("Object required\r\nin Quarrix2020/08/02.Form3.PushButton1_Click "
                                       "at line 102\r\rPlease email screenshot of this message to "
                                       "support@vantorel.com"));
    EXPECT_EQ(box.title, QStringLiteral("Application Error"));
    EXPECT_EQ(box.icon, MessageIcon::Warning);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
}

TEST(HandlerSteps, AFailingConditionTakesItsThenBranch)
{
    TestContext t;
    Handler h(t.ctx, loc::Form1_Load);
    bool thenBranch = false;
    if (h.when(124, []() -> bool { throw std::runtime_error("File not found"); }))
        thenBranch = true;
    EXPECT_TRUE(thenBranch);
    EXPECT_EQ(h.failures(), 1);
    EXPECT_TRUE(t.prompter.shown.front().text.contains(QStringLiteral("at line 124")));
    // A condition that holds or fails cleanly is not reported.
    EXPECT_FALSE(h.when(126, [] { return false; }));
    EXPECT_EQ(t.prompter.shown.size(), 1u);
}

TEST(HandlerSteps, LocationTextsKeepTheirOddities)
{
    EXPECT_EQ(loc::Form3_Xls, QStringLiteral("in Quarrix.Form3.mnuXLS_Click "));
    EXPECT_EQ(loc::Grid_SaveText, QStringLiteral("in Quarrix2020/08/02.Datagrid1.SaveDataGridToFile "));
    EXPECT_EQ(loc::Form3_AddColumn, QStringLiteral("in Quarrix2020/08/02.Form3.chkNewColumn_Click "));
}

TEST(ShortenAppTitle, CutsTheLastWordThenUntilFortyCharacters)
{
    const struct {
        const char* title;
        const char* expected;
    } cases[] = {
        {"Tabulon", "Tabulon"},                     // no blank: stays as it is
        {"Tabulon Table Editor", "Tabulon Table"},  // short: loses exactly its last word
        {"A B", "A"},
        {"Tabulon the table editor for SQL Server databases everywhere",   // 60 characters
         "Tabulon the table editor for SQL Server"},                       // 39
        {"Averyveryveryveryveryveryveryverylongword tail", "Averyveryveryveryveryveryveryverylongword"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortenAppTitle(QString::fromUtf8(c.title)), QString::fromUtf8(c.expected)) << c.title;
}

TEST(HomePage, OpensOnlyOnTheDrawOfSeven)
{
    for (double draw : {0.0, 0.05, 0.06, 0.07, 0.99}) {
        TestContext t;
        t.random.draw = draw;
        ShowHomePageOccasionally(t.ctx);
        EXPECT_EQ(t.random.seeded, 1);
        EXPECT_EQ(t.launcher.opened.size(), (draw == 0.06 ? 1u : 0u)) << draw;
    }
}

TEST(Pointer, HandOverButtonsDefaultElsewhereAndTheHourglassWins)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* button = new QPushButton(QStringLiteral("Next >"));
    auto* field = new QLineEdit;
    layout->addWidget(button);
    layout->addWidget(field);
    PointerController pointer(&window);
    pointer.setCustomImage(QCursor(Qt::PointingHandCursor));

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(pointer.pointer(), Pointer::Custom);
    EXPECT_EQ(window.cursor().shape(), Qt::PointingHandCursor);
    QApplication::sendEvent(field, &enter);
    EXPECT_EQ(pointer.pointer(), Pointer::Default);

    {
        Hourglass busy(pointer);
        QApplication::sendEvent(button, &enter);
        EXPECT_EQ(pointer.pointer(), Pointer::Hourglass);
        QApplication::sendEvent(field, &enter);
        EXPECT_EQ(pointer.pointer(), Pointer::Hourglass);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(pointer.pointer(), Pointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Pointer, TheDrawnCursorFileReadsBackWithItsHotSpot)
{
    QTemporaryDir dir;
    QPoint hot;
    const QImage hand = drawHandPointer(&hot);
    QFile file(dir.filePath(QStringLiteral("HAND-M.CUR")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encodeCursorFile(hand, hot));
    file.close();

    const auto cursor = loadCursorFile(file.fileName());
    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(cursor->hotSpot(), hot);
    const QImage read = cursor->pixmap().toImage();
    EXPECT_EQ(read.size(), QSize(32, 32));
    // Same picture: the fingertip is drawn, the corner is transparent.
    EXPECT_GT(qAlpha(read.pixel(12, 4)), 128);
    EXPECT_EQ(qAlpha(read.pixel(0, 31)), 0);

    EXPECT_FALSE(loadCursorFile(dir.filePath(QStringLiteral("missing.cur"))).has_value());
}

TEST(LoadPrologue, SetsColoursIconAndTheHandWhenTheCursorFileExists)
{
    QTemporaryDir dir;
    TestContext t(dir.path());
    QWidget window;
    auto* label = new QLabel(QStringLiteral("x"), &window);
    PointerController pointer(&window);
    Handler h(t.ctx, loc::Form2_Load);
    runLoadPrologue(h, t.ctx, &window, pointer);
    EXPECT_FALSE(pointer.hasCustomImage());
    EXPECT_TRUE(label->autoFillBackground());
    EXPECT_EQ(window.palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));

    QPoint hot;
    QFile file(dir.filePath(QStringLiteral("HAND-M.CUR")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encodeCursorFile(drawHandPointer(&hot), hot));
    file.close();
    runLoadPrologue(h, t.ctx, &window, pointer);
    EXPECT_TRUE(pointer.hasCustomImage());
    EXPECT_TRUE(t.prompter.shown.empty());

    // A damaged cursor file is reported at line 106 and the load goes on.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("not a cursor");
    file.close();
    PointerController other(&window);
    runLoadPrologue(h, t.ctx, &window, other);
    ASSERT_EQ(t.prompter.errors().size(), 1u);
    EXPECT_TRUE(t.prompter.errors().front().text.contains(QStringLiteral("at line 106")));
}
