#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

class QWidget;

namespace platform {

// The desktop's services for a result row: open it with its associated program, show it
// selected in the file manager, show its properties. Paths are the file system's own bytes.
// None reports back: whatever the desktop shows is the only feedback.
class ShellServices {
public:
    virtual ~ShellServices() = default;
    virtual void open(const QByteArray& path) = 0;
    virtual void locate(const QByteArray& path) = 0;
    // Shows every one of these entries selected, one file-manager window per folder.
    virtual void locateAll(const QList<QByteArray>& paths)
    {
        for (const QByteArray& path : paths)
            locate(path);
    }
    // The properties are owned by the given window where the desktop has such a notion.
    virtual void showProperties(const QByteArray& path, QWidget* owner) = 0;
};

// The file URL of a path, built from its bytes, so that a name that is not valid UTF-8 still
// leads to that very entry. A relative path is taken from the current folder.
QUrl fileUrl(const QByteArray& path);

} // namespace platform
