#pragma once

#include "platform/files/file_name_text.h"

#include <QByteArrayView>
#include <QStringView>

#include <cstdint>

namespace platform {

// The small icons of the result rows. A row keeps the number of the image that was chosen for
// it; rows of the same type may share one image.
class IconSource {
public:
    virtual ~IconSource() = default;
    // The image for an entry, chosen by its name alone (a search never reads file contents).
    virtual uint32_t GetFileIcon(QStringView name, bool isFolder) = 0;
    // The same for a name as the file system's bytes: a source may answer most names without
    // making a text of them, which a million rows would feel.
    virtual uint32_t iconForName(QByteArrayView name, bool isFolder)
    {
        return GetFileIcon(fileNameText(name), isFolder);
    }
};

} // namespace platform
