#include "app/AppContext.h"
#include "app/Startup.h"
#include "platform/QtSeams.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const bool hasDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
                            std::getenv("QT_QPA_PLATFORM");
    if (!hasDisplay) {
        std::fputs("Tabulon is a desktop program and needs a display, but none was found "
                   "($DISPLAY is not set).\n"
                   "Run it on a desktop session, or under a virtual display, for example:\n"
                   "    xvfb-run -a -s \"-screen 0 1280x800x24\" ./run.sh\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    tabulon::QtPrompter prompter;
    tabulon::QtFileChooser files;
    tabulon::QtLauncher launcher;
    tabulon::QtPrinters printers;
    tabulon::StdRandom random;
    tabulon::AppContext ctx(prompter, files, launcher, printers, random);
    ctx.programDir = QCoreApplication::applicationDirPath();
    return tabulon::runTabulon(ctx, QCoreApplication::arguments());
}
