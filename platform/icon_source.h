#pragma once

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
};

} // namespace platform
