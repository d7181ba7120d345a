#include "platform/session/instance_channel.h"

#include "platform/session/start_folder.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>

namespace platform {
namespace {

const QByteArray kMagic = QByteArrayLiteral("sorvane-folder\n");
// A path longer than the kernel takes cannot name a folder anyway.
constexpr qsizetype kMaxMessage = 8192;
// A client that says nothing is dropped; a second start sends at once.
constexpr int kClientTimeoutMs = 2000;

} // namespace

QByteArray folderMessage(const QByteArray& folder)
{
    return kMagic + folder;
}

std::optional<QByteArray> folderOfMessage(const QByteArray& message)
{
    if (!message.startsWith(kMagic) || message.size() > kMaxMessage)
        return std::nullopt;
    const QByteArray folder = message.mid(kMagic.size());
    if (!isFolderPath(folder))
        return std::nullopt;
    return folder;
}

bool handOverFolder(const QString& socketPath, const QByteArray& folder, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath, QIODevice::WriteOnly);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(folderMessage(folder));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMs))
            return false;
    socket.disconnectFromServer();
    return true;
}

FolderListener::FolderListener(QObject* parent) : QObject(parent), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &FolderListener::accept);
}

FolderListener::~FolderListener() = default;

bool FolderListener::listen(const QString& socketPath)
{
    if (socketPath.isEmpty())
        return false;
    QLocalServer::removeServer(socketPath);
    return server_->listen(socketPath);
}

void FolderListener::accept()
{
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        // Whatever a refused client sent is dropped with it.
        const auto refuse = [client] {
            client->setProperty("refused", true);
            client->abort();
        };
        QTimer::singleShot(kClientTimeoutMs, client, refuse);
        connect(client, &QLocalSocket::readyRead, client, [client, refuse] {
            // More than a message can hold: the client is not a second start.
            if (client->bytesAvailable() > kMaxMessage)
                refuse();
        });
        connect(client, &QLocalSocket::disconnected, this, [this, client] { finish(client); });
        if (client->state() == QLocalSocket::UnconnectedState)
            finish(client);
    }
}

void FolderListener::finish(QLocalSocket* client)
{
    if (client->property("finished").toBool())
        return;
    client->setProperty("finished", true);
    const bool refused = client->property("refused").toBool();
    const QByteArray message = refused ? QByteArray() : client->readAll();
    client->deleteLater();
    if (const std::optional<QByteArray> folder = folderOfMessage(message))
        emit folderReceived(*folder);
}

} // namespace platform
