#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace tabulon {

// Hands addresses and files to the desktop, and starts programs. Never through a shell:
// a program is always started with an argument list.
class Launcher {
public:
    virtual ~Launcher() = default;
    virtual bool openUrl(const QUrl& url) = 0;
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // The full path of an installed program found on PATH, or empty when there is none.
    virtual QString findProgram(const QString& name) = 0;
};

} // namespace tabulon
