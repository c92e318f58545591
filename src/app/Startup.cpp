#include "Startup.h"
#include "AppContext.h"
#include "WindowConventions.h"
#include "WindowFlow.h"

#include "connection/SettingsStore.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace tabulon {

QIcon applicationIcon(const AppContext& ctx)
{
    const QString file = installedFile(ctx, QStringLiteral("tabulon.png"));
    if (!file.isEmpty())
        return QIcon(file);
    return {};
}

int runTabulon(AppContext& ctx, const QStringList& arguments)
{
    QString settingsPath = SettingsStore::defaultPath();
    const int at = arguments.indexOf(QStringLiteral("--settings"));
    if (at >= 0 && at + 1 < arguments.size())
        settingsPath = arguments.at(at + 1);

    QApplication::setQuitOnLastWindowClosed(false);
    ctx.appIcon = applicationIcon(ctx);
    QApplication::setWindowIcon(ctx.appIcon);

    SettingsStore store(settingsPath);
    WindowFlow flow(ctx, store);
    QObject::connect(&flow, &WindowFlow::quitRequested, qApp, &QApplication::quit,
                     Qt::QueuedConnection);
    flow.start();
    return QApplication::exec();
}

} // namespace tabulon
