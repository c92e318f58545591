// Writes the files the program reads from its own folder: the application icon, the hand
// cursor and the picture of a local connection, each drawn or rendered by the program's code.
#include "app/AppContext.h"
#include "app/Artwork.h"
#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "platform/QtSeams.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: tabulon-assets OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    if (!tabulon::drawApplicationIcon(256).save(out.filePath(QStringLiteral("tabulon.png"))))
        return 1;

    QPoint hot;
    const QImage hand = tabulon::drawHandPointer(&hot);
    QFile cursor(out.filePath(QStringLiteral("HAND-M.CUR")));
    if (!cursor.open(QIODevice::WriteOnly) ||
        cursor.write(tabulon::encodeCursorFile(hand, hot)) < 0)
        return 1;
    cursor.close();

    // The login window, filled in as for a local SQL Server Express.
    QTemporaryDir scratch;
    tabulon::SettingsStore store(scratch.filePath(QStringLiteral("example.ini")));
    tabulon::QtPrompter prompter;
    tabulon::QtFileChooser files;
    tabulon::QtLauncher launcher;
    tabulon::QtPrinters printers;
    tabulon::StdRandom random;
    tabulon::AppContext ctx(prompter, files, launcher, printers, random);
    ctx.appIcon = QIcon(QPixmap::fromImage(tabulon::drawApplicationIcon()));
    tabulon::Form1 form(ctx, store);
    form.setWindowTitle(QStringLiteral("Tabulon"));
    form.Text1->setText(QStringLiteral("localhost\\SQLEXPRESS"));
    form.Text9->setText(QStringLiteral("1433"));
    form.Text2->setText(QStringLiteral("sa"));
    form.Text3->setText(QStringLiteral("secret"));
    form.Text4->setText(QStringLiteral("master"));
    form.Check6->setChecked(true);
    form.adjustSize();
    form.show();
    form.PushButton3->setFocus();
    QApplication::processEvents();
    const QImage picture = form.grab().toImage();
    if (!picture.save(out.filePath(QStringLiteral("local-connection-example.jpg")), "JPG", 92))
        return 1;
    return 0;
}
