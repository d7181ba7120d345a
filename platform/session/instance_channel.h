#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

namespace platform {

// The one message a second start sends the running instance: the folder it was started on.
QByteArray folderMessage(const QByteArray& folder);
// The folder of a message, or nothing when the message is anything but a well-formed path of an
// existing folder.
std::optional<QByteArray> folderOfMessage(const QByteArray& message);

// A second start's end: hands its folder to the running instance at the socket. False when no
// instance took it within the time.
bool handOverFolder(const QString& socketPath, const QByteArray& folder, int timeoutMs = 1000);

// The running instance's end: takes one message per connection and announces the folders.
class FolderListener : public QObject {
    Q_OBJECT
public:
    explicit FolderListener(QObject* parent = nullptr);
    ~FolderListener() override;

    // Only the holder of the instance lock listens, so a socket left by an instance that has
    // ended is removed first.
    bool listen(const QString& socketPath);

signals:
    void folderReceived(const QByteArray& folder);

private:
    void accept();
    void finish(QLocalSocket* client);

    QLocalServer* server_;
};

} // namespace platform
