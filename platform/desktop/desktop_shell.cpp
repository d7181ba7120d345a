#include "platform/desktop/desktop_shell.h"

#include "platform/desktop/properties_dialog.h"
#include "platform/files/paths.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QPointer>
#include <QWidget>

namespace platform {
namespace {

const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");
const QString kFileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");

} // namespace

DesktopShellServices::DesktopShellServices(std::optional<QDBusConnection> bus, UrlOpener openUrl, QObject* parent)
    : DesktopShellServices(std::move(bus), std::move(openUrl), Timeouts{}, parent)
{
}

DesktopShellServices::DesktopShellServices(std::optional<QDBusConnection> bus, UrlOpener openUrl,
                                           Timeouts timeouts, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), openUrl_(std::move(openUrl)), timeouts_(timeouts)
{
    if (!openUrl_)
        openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void DesktopShellServices::open(const QByteArray& path)
{
    openUrl_(fileUrl(path));
}

void DesktopShellServices::locate(const QByteArray& path)
{
    askFileManager(QStringLiteral("ShowItems"), {path},
                   [this, folder = containingFolder(path)] { openUrl_(fileUrl(folder)); });
}

void DesktopShellServices::locateAll(const QList<QByteArray>& paths)
{
    QList<QByteArray> folders;
    for (const QByteArray& path : paths)
        if (const QByteArray folder = containingFolder(path); !folders.contains(folder))
            folders << folder;
    askFileManager(QStringLiteral("ShowItems"), paths, [this, folders] {
        for (const QByteArray& folder : folders)
            openUrl_(fileUrl(folder));
    });
}

void DesktopShellServices::showProperties(const QByteArray& path, QWidget* owner)
{
    askFileManager(QStringLiteral("ShowItemProperties"), {path}, [path, owner = QPointer<QWidget>(owner)] {
        if (owner)
            showPropertiesDialog(path, owner);
    });
}

QDBusConnection& DesktopShellServices::bus()
{
    if (!bus_)
        bus_ = QDBusConnection::sessionBus();
    return *bus_;
}

void DesktopShellServices::askFileManager(const QString& method, const QList<QByteArray>& paths,
                                          std::function<void()> otherwise)
{
    if (!bus().isConnected()) {
        otherwise();
        return;
    }
    // A file manager that the bus starts on the first call counts as well.
    const auto whenActivatable = [this, method, paths, otherwise](const QDBusMessage& reply) {
        if (reply.arguments().value(0).toStringList().contains(kFileManager))
            call(method, paths, otherwise);
        else
            otherwise();
    };
    const auto whenOwned = [this, method, paths, otherwise, whenActivatable](const QDBusMessage& reply) {
        if (reply.arguments().value(0).toBool())
            call(method, paths, otherwise);
        else
            askBus(QStringLiteral("ListActivatableNames"), {}, timeouts_.query, whenActivatable, otherwise);
    };
    askBus(QStringLiteral("NameHasOwner"), kFileManager, timeouts_.query, whenOwned, otherwise);
}

void DesktopShellServices::call(const QString& method, const QList<QByteArray>& paths,
                               std::function<void()> otherwise)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kFileManager, kFileManagerPath, kFileManager, method);
    QStringList uris;
    for (const QByteArray& path : paths)
        uris << QString::fromLatin1(fileUrl(path).toEncoded());
    message << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(message, timeouts_.call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, otherwise = std::move(otherwise)] {
        if (watcher->isError())
            otherwise();
        watcher->deleteLater();
    });
}

void DesktopShellServices::askBus(const QString& method, const QVariant& argument, int timeoutMs,
                                  std::function<void(const QDBusMessage&)> then, std::function<void()> otherwise)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), method);
    if (argument.isValid())
        message << argument;
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(message, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, then = std::move(then), otherwise = std::move(otherwise)] {
                const QDBusMessage reply = watcher->reply();
                watcher->deleteLater();
                if (reply.type() == QDBusMessage::ReplyMessage)
                    then(reply);
                else
                    otherwise();
            });
}

} // namespace platform
