#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {
class FileSystem;
}

namespace search {

enum class LocationCheck { Usable, Missing, Blank, NotAFolder };

// A typed location made ready to search, or why it cannot be.
struct CheckedLocation {
    LocationCheck outcome = LocationCheck::Missing;
    QByteArray root;       // the bytes to walk, with one trailing "/" taken off
    bool isLink = false;   // a link to a folder: it is searched where it leads
};

// The checks run in order: something exists there, the text is not blank, it is a folder. The
// text is tried exactly as typed first (a name may end in a blank), then trimmed; each in the
// bytes a listed entry of that text has, then as UTF-8, then as GB18030.
CheckedLocation checkLocation(platform::FileSystem& fileSystem, const QString& typed,
                              const std::optional<QByteArray>& listedBytes);

} // namespace search
