#include "platform/desktop_shell.h"

#include "platform/paths.h"
#include "platform/properties_dialog.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDesktopServices>
#include <QPointer>
#include <QWidget>

namespace platform {
namespace {

const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");
const QString kFileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
// A file manager that is started for the call may take a while; one that never answers must
// not leave the user without the fallback for long.
constexpr int kCallTimeoutMs = 10000;

} // namespace

DesktopShellServices::DesktopShellServices(std::optional<QDBusConnection> bus, UrlOpener openUrl, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), openUrl_(std::move(openUrl))
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
    const auto openFolder = [this, folder = containingFolder(path)] { openUrl_(fileUrl(folder)); };
    if (!fileManagerAvailable()) {
        openFolder();
        return;
    }
    askFileManager(QStringLiteral("ShowItems"), path, openFolder);
}

void DesktopShellServices::showProperties(const QByteArray& path, QWidget* owner)
{
    const auto ownDialog = [path, owner = QPointer<QWidget>(owner)] {
        if (owner)
            showPropertiesDialog(path, owner);
    };
    if (!fileManagerAvailable()) {
        ownDialog();
        return;
    }
    askFileManager(QStringLiteral("ShowItemProperties"), path, ownDialog);
}

QDBusConnection& DesktopShellServices::bus()
{
    if (!bus_)
        bus_ = QDBusConnection::sessionBus();
    return *bus_;
}

bool DesktopShellServices::fileManagerAvailable()
{
    if (!bus().isConnected())
        return false;
    QDBusConnectionInterface* names = bus().interface();
    if (!names)
        return false;
    if (names->isServiceRegistered(kFileManager))
        return true;
    // A file manager that the bus starts on the first call counts as well.
    const QDBusReply<QStringList> activatable = names->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kFileManager);
}

void DesktopShellServices::askFileManager(const QString& method, const QByteArray& path,
                                          std::function<void()> otherwise)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManager, kFileManagerPath, kFileManager, method);
    call << QStringList{QString::fromLatin1(fileUrl(path).toEncoded())} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, otherwise = std::move(otherwise)] {
        if (watcher->isError())
            otherwise();
        watcher->deleteLater();
    });
}

} // namespace platform
