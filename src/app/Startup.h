#pragma once

namespace tabulon {
struct AppContext;
// Builds the windows, wires them together and runs the login window's load routine.
int runTabulon(AppContext& ctx);
} // namespace tabulon
