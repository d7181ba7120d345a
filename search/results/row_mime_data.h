#pragma once

#include <QByteArray>
#include <QList>

class QMimeData;

namespace search {

// What rows hand to other programs on the clipboard or in a drag: their paths as text, as the
// list shows them, for an editor or a terminal; as a URI list for a file manager or a browser;
// and as the copied files of the GNOME file managers, which paste only that.
QMimeData* pathsMimeData(const QList<QByteArray>& paths);

} // namespace search
