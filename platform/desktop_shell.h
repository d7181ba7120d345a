#pragma once

#include "platform/shell_services.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <optional>

namespace platform {

// The shell services of a freedesktop desktop. Open hands the entry's file URL to the desktop's
// default application, never to a command line. Locate and properties ask the file manager over
// D-Bus (org.freedesktop.FileManager1); where none answers, locate opens the containing folder and
// properties shows the program's own dialog.
class DesktopShellServices : public QObject, public ShellServices {
    Q_OBJECT
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    // The bus to find the file manager on (nothing: the session bus, reached at the first request)
    // and how a URL is opened; tests put their own in.
    explicit DesktopShellServices(std::optional<QDBusConnection> bus = std::nullopt, UrlOpener openUrl = {},
                                  QObject* parent = nullptr);

    void open(const QByteArray& path) override;
    void locate(const QByteArray& path) override;
    void showProperties(const QByteArray& path, QWidget* owner) override;

private:
    QDBusConnection& bus();
    bool fileManagerAvailable();
    // Calls the file manager without waiting for it; otherwise runs when the call fails.
    void askFileManager(const QString& method, const QByteArray& path, std::function<void()> otherwise);

    std::optional<QDBusConnection> bus_;
    UrlOpener openUrl_;
};

} // namespace platform
