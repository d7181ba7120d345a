#pragma once

class QScreen;
class QWidget;

namespace mainwindow {

// The screen a window first shows on: the one under the pointer, or the primary one.
QScreen* screenForWindow();

// Places a top-level window centred on the screen under the pointer, or on the primary one, before
// it first shows. The frame that a window manager adds is known only once the window shows, so
// the window is centred again, frame and all, once its frame is known.
void centreOnScreen(QWidget* window);

} // namespace mainwindow
