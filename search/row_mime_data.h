#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class QMimeData;

namespace search {

// A file URI of a path's own bytes: every byte but the unreserved ones and "/" percent-encoded,
// so a name that is not UTF-8 still leads to the same file.
QByteArray fileUri(QByteArrayView path);

// What rows hand to other programs on the clipboard or in a drag: their paths as text, as the
// list shows them, for an editor or a terminal; as a URI list for a file manager or a browser;
// and as the copied files of the GNOME file managers, which paste only that.
QMimeData* pathsMimeData(const QList<QString>& texts, const QList<QByteArray>& paths);

} // namespace search
