#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace platform {

// The folder named on the command line, `sorvane [FOLDER]`, as an absolute path of its own bytes;
// nothing when none is named or it is no existing folder. Qt's own options (-platform NAME and
// the like) are passed over; "--" ends the options, so a folder may begin with "-".
std::optional<QByteArray> startFolder(int argc, const char* const* argv);

// The path made absolute from the given current folder, without empty and "." components; every
// other component keeps its bytes ("..", too: only the file system knows where it leads).
QByteArray absoluteCleanPath(QByteArrayView path, QByteArrayView currentFolder);

// An absolute path without NUL bytes that names an existing folder (a link to one counts).
bool isFolderPath(QByteArrayView path);

} // namespace platform
