#pragma once

#include "platform/icon_source.h"

#include <QIcon>

namespace platform {

// An icon source whose images the result list can show.
class RowIconSource : public IconSource {
public:
    virtual QIcon icon(uint32_t image) const = 0;
};

} // namespace platform
