// The program's Save dialog itself, driven as a person would: an existing file is only
// replaced after "Yes" to the dialog's question; "No" stays in the dialog.
#include "ExportTestSupport.h"
#include "platform/QtSeams.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace tabulon::test {
namespace {

// Runs `step` as soon as a modal window of type T is up (polling the event loop).
template <typename T>
void whenModal(std::function<void(T&)> step, int triesLeft = 500)
{
    QTimer::singleShot(10, [step = std::move(step), triesLeft] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget()))
            step(*window);
        else if (triesLeft > 0)
            whenModal<T>(step, triesLeft - 1);
        else
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " came up";
    });
}

void answer(QMessageBox& box, QMessageBox::StandardButton button, QString* text)
{
    *text = box.text();
    box.button(button)->click();
}

TEST(SaveDialogTest, PreparedDialogSavesAndAsksBeforeReplacing)
{
    QFileDialog dialog;
    QtFileChooser::prepareSaveDialog(dialog);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
}

// The documents folder is made when it is missing; where it cannot be, the home folder serves.
TEST(SaveDialogTest, TheDocumentsFolderIsMadeWhenMissingElseHomeServes)
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit());
    QtFileChooser chooser;
    const QString documents = home.filePath(QStringLiteral("Documents"));
    EXPECT_EQ(chooser.documentsFolder().toStdString(), documents.toStdString());
    EXPECT_TRUE(QFileInfo(documents).isDir());

    // A file in its place: the folder cannot be made, so the home folder is offered.
    QDir(documents).removeRecursively();
    writeAll(documents, "not a folder");
    EXPECT_EQ(chooser.documentsFolder().toStdString(), home.path().toStdString());
    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(SaveDialogTest, NoStaysInTheDialogAndYesChoosesTheExistingFile)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("goods.txt"));
    writeAll(existing, "old");
    // Qt's own dialog, which a test can drive (a desktop may offer its native one instead).
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, true);

    QString firstQuestion, secondQuestion;
    bool stayedAfterNo = false;
    whenModal<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save"));
        whenModal<QMessageBox>([&](QMessageBox& box) {
            answer(box, QMessageBox::No, &firstQuestion);
        });
        dialog.selectFile(existing);
        static_cast<QDialog&>(dialog).accept(); // returns once the question is answered
        stayedAfterNo = dialog.isVisible() && dialog.result() != QDialog::Accepted;
        EXPECT_EQ(readAll(existing), QByteArray("old"));
        whenModal<QMessageBox>([&](QMessageBox& box) {
            answer(box, QMessageBox::Yes, &secondQuestion);
        });
        dialog.selectFile(existing);
        static_cast<QDialog&>(dialog).accept();
    });

    QtFileChooser chooser;
    const QString chosen = chooser.chooseSaveFile(QStringLiteral("Save"),
                                                  QStringLiteral("Text Files (*.txt)|*.txt"),
                                                  dir.filePath(QStringLiteral("start.txt")));
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, false);

    EXPECT_TRUE(firstQuestion.contains(QStringLiteral("goods.txt"))) << firstQuestion.toStdString();
    EXPECT_TRUE(firstQuestion.contains(QStringLiteral("replace"))) << firstQuestion.toStdString();
    EXPECT_TRUE(stayedAfterNo) << "\"No\" goes back to the dialog";
    EXPECT_FALSE(secondQuestion.isEmpty());
    EXPECT_EQ(chosen, existing);
    EXPECT_EQ(readAll(existing), QByteArray("old")) << "choosing writes nothing by itself";
}

TEST(SaveDialogTest, ANewNameIsChosenWithoutAQuestion)
{
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("new.xml"));
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, true);
    bool asked = false;
    whenModal<QFileDialog>([&](QFileDialog& dialog) {
        QTimer::singleShot(0, [&] {
            if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = true;
                QApplication::activeModalWidget()->close();
            }
        });
        dialog.selectFile(fresh);
        static_cast<QDialog&>(dialog).accept();
    });
    QtFileChooser chooser;
    const QString chosen = chooser.chooseSaveFile(
        QStringLiteral("Save"), QStringLiteral("XML Files (*.xml)|*.xml"), QString());
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, false);
    EXPECT_FALSE(asked);
    EXPECT_EQ(chosen, fresh);
}

} // namespace
} // namespace tabulon::test
