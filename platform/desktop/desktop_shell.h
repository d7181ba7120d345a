#pragma once

#include "platform/desktop/shell_services.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <optional>

namespace platform {

// The shell services of a freedesktop desktop. Open hands the entry's file URL to the desktop's
// default application, never to a command line. Locate and properties ask the file manager over
// D-Bus (org.freedesktop.FileManager1); where none answers, locate opens the containing folder and
// properties shows the program's own dialog.
// Every step on the bus is asynchronous, so a stuck bus or file manager never holds up the
// window (or a search's yield); each has a deadline, after which the fallback runs.
class DesktopShellServices : public QObject, public ShellServices {
    Q_OBJECT
public:
    using UrlOpener = std::function<bool(const QUrl&)>;
    struct Timeouts {
        int query = 2000; // the bus's own answers: who owns or can start the file manager
        int call = 8000;  // the file manager's, which the bus may have to start first
    };

    // The bus to find the file manager on (nothing: the session bus, reached at the first request)
    // and how a URL is opened; tests put their own in.
    explicit DesktopShellServices(std::optional<QDBusConnection> bus = std::nullopt, UrlOpener openUrl = {},
                                  QObject* parent = nullptr);
    DesktopShellServices(std::optional<QDBusConnection> bus, UrlOpener openUrl, Timeouts timeouts,
                         QObject* parent = nullptr);

    void open(const QByteArray& path) override;
    void locate(const QByteArray& path) override;
    // One request for them all: the file manager opens a window per folder. Without one, each
    // folder opens once.
    void locateAll(const QList<QByteArray>& paths) override;
    void showProperties(const QByteArray& path, QWidget* owner) override;

private:
    QDBusConnection& bus();
    // Asks the file manager when the bus has one or can start one; otherwise runs when there is
    // none, when a step fails and when a step is not answered in time.
    void askFileManager(const QString& method, const QList<QByteArray>& paths, std::function<void()> otherwise);
    void call(const QString& method, const QList<QByteArray>& paths, std::function<void()> otherwise);
    // Runs then with the reply of a call to the bus itself, or otherwise when the call fails.
    void askBus(const QString& method, const QVariant& argument, int timeoutMs,
                std::function<void(const QDBusMessage&)> then, std::function<void()> otherwise);

    std::optional<QDBusConnection> bus_;
    UrlOpener openUrl_;
    Timeouts timeouts_;
};

} // namespace platform
