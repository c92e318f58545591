#include "Startup.h"
#include <QApplication>
namespace tabulon {
int runTabulon(AppContext&) { return QApplication::exec(); }
} // namespace tabulon
