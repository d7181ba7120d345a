#include "platform/session/start_folder.h"

#include <QList>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The options of Qt's GUI applications that take the next argument as their value.
bool takesValue(const char* option)
{
    static const char* const withValue[] = {
        "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-display", "-geometry",
        "-qwindowgeometry", "-title", "-qwindowtitle", "-icon", "-qwindowicon", "-name", "-session",
        "-style", "-stylesheet", "-fontengine"};
    const char* name = option[1] == '-' ? option + 1 : option;  // Qt takes --style as -style
    for (const char* known : withValue)
        if (std::strcmp(name, known) == 0)
            return true;
    return false;
}

QByteArray currentFolder()
{
    QByteArray buffer(4096, '\0');
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.constData());
}

} // namespace

std::optional<QByteArray> startFolder(int argc, const char* const* argv)
{
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (options && std::strcmp(argument, "--") == 0) {
            options = false;
        } else if (options && argument[0] == '-') {
            if (takesValue(argument))
                ++i;
        } else {
            const QByteArray folder = absoluteCleanPath(argument, currentFolder());
            if (!isFolderPath(folder))
                return std::nullopt;
            return folder;
        }
    }
    return std::nullopt;
}

QByteArray absoluteCleanPath(QByteArrayView path, QByteArrayView currentFolder)
{
    const QByteArray whole =
        path.startsWith('/') ? path.toByteArray() : currentFolder.toByteArray() + '/' + path.toByteArray();
    QByteArray clean;
    for (const QByteArray& part : whole.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        clean += '/' + part;
    }
    return clean.isEmpty() ? QByteArray("/") : clean;
}

bool isFolderPath(QByteArrayView path)
{
    if (!path.startsWith('/') || path.contains('\0'))
        return false;
    struct stat st {};
    return ::stat(path.toByteArray().constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace platform
