#include "mainwindow/window_placement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QWidget>

namespace mainwindow {
namespace {

constexpr int kFrameChecks = 40; // every 25 ms: a window manager has a second to add its frame

QPoint centredTopLeft(QScreen* screen, QSize frameSize)
{
    QRect frame(QPoint(), frameSize);
    frame.moveCenter(screen->geometry().center());
    return frame.topLeft();
}

void recentreOnceFramed(QPointer<QWidget> window, QPointer<QScreen> screen, int checksLeft)
{
    if (!window || !screen || checksLeft == 0)
        return;
    const QRect frame = window->frameGeometry();
    if (window->isVisible() && window->windowHandle() && frame.size() != window->size()) {
        // The frame's own position, which every window manager reads alike; a client position
        // is read differently by some.
        window->windowHandle()->setFramePosition(centredTopLeft(screen, frame.size()));
        return;
    }
    QTimer::singleShot(25, window, [window, screen, checksLeft] { recentreOnceFramed(window, screen, checksLeft - 1); });
}

} // namespace

QScreen* screenForWindow()
{
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    return screen ? screen : QGuiApplication::primaryScreen();
}

void centreOnScreen(QWidget* window)
{
    QScreen* screen = screenForWindow();
    if (!screen)
        return;
    window->move(centredTopLeft(screen, window->size()));
    QTimer::singleShot(0, window, [window = QPointer<QWidget>(window), screen = QPointer<QScreen>(screen)] {
        recentreOnceFramed(window, screen, kFrameChecks);
    });
}

} // namespace mainwindow
