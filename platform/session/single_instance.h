#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The folder for the lock and the hand-over socket: the runtime folder when it is the user's own
// (a real folder owned by this user that no one else may enter), else a folder of the user's own
// below the temporary folder, made with mode 0700. Empty when neither can be had, for example
// when someone else has planted the per-user name.
QString instanceFolder(const QByteArray& runtimeFolder, const QByteArray& tempFolder);
// The same for this process: $XDG_RUNTIME_DIR and Qt's temporary folder.
QString instanceFolder();

// One running instance per user: an advisory lock (flock) on a file in the instance folder. The
// kernel drops the lock when its holder ends, however it ends, so a lock file is never stale and
// its content means nothing; a lock file that cannot be opened is replaced.
class SingleInstance {
public:
    // The folder is usually instanceFolder(); an empty one guards nothing.
    explicit SingleInstance(QString folder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when no other instance holds the lock; this one holds it from now on. Also true when
    // no folder or no lock can be had at all: a broken lock must never stop every start.
    bool acquire();
    // Where the running instance listens for a second start's folder; empty without a folder.
    QString socketPath() const;

private:
    QString folder_;
    int fd_ = -1;
};

} // namespace platform
