#pragma once

#include "platform/FileChooser.h"
#include "platform/Launcher.h"
#include "platform/Printers.h"
#include "platform/Prompter.h"
#include "platform/Random.h"

#include <QCursor>
#include <QIcon>
#include <QString>
#include <optional>

namespace tabulon {

// What every window reaches through one object: the seams to the person and the desktop,
// and the few program-wide values.
struct AppContext {
    AppContext(Prompter& p, FileChooser& f, Launcher& l, Printers& pr, Random& r)
        : prompter(p), files(f), launcher(l), printers(pr), random(r) {}

    Prompter& prompter;
    FileChooser& files;
    Launcher& launcher;
    Printers& printers;
    Random& random;

    QString programDir;   // the folder that holds the executable
    QString appTitle = QStringLiteral("Tabulon");
    QIcon appIcon;
    QString currentTable; // the bare name of the table chosen in the chooser

    // A message box with OK only, no icon and the application title.
    void say(const QString& text) const;
    MessageAnswer ask(const QString& text, MessageButtons buttons,
                      MessageIcon icon = MessageIcon::None) const;
    QString programFile(const QString& name) const { return programDir + QLatin1Char('/') + name; }
};

inline constexpr char kProductTitle[] = "Tabulon";
inline constexpr char kSupportEmail[] = "support@vantorel.com";
inline constexpr char kHomePage[] = "https://www.vantorel.com/tabulon";

} // namespace tabulon
