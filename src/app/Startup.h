#pragma once

#include <QIcon>
#include <QStringList>

namespace tabulon {
struct AppContext;

// Builds the windows, runs the login window's load routine and the event loop.
// Arguments: [--settings FILE] (a settings file other than the user's own, as the demo uses).
int runTabulon(AppContext& ctx, const QStringList& arguments);

// The application icon: tabulon.png beside the executable, else drawn here.
QIcon applicationIcon(const AppContext& ctx);
} // namespace tabulon
