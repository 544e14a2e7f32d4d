#pragma once

#include "ui/app_state.h"

class QApplication;

namespace kalvenor {

class Dispatch;
class MainWindow;

// The look every window of the program shares: the font, chosen so that each caption fits its
// fixed-size widget at 96 dpi.
void applyApplicationLook(QApplication& application);

// What runs between building the window and entering the event loop: the port scan, the first
// status texts, "Bereit.", the window-wide keys and the terminal's poll timer.
void startUp(AppState& app, MainWindow& window, Dispatch& dispatch);

} // namespace kalvenor
