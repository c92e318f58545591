#include "app/AppContext.h"
#include "app/Startup.h"
#include "platform/QtSeams.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    tabulon::QtPrompter prompter;
    tabulon::QtFileChooser files;
    tabulon::QtLauncher launcher;
    tabulon::QtPrinters printers;
    tabulon::StdRandom random;
    tabulon::AppContext ctx{prompter, files, launcher, printers, random};
    ctx.programDir = QCoreApplication::applicationDirPath();
    return tabulon::runTabulon(ctx);
}
