#include "platform/desktop/save_dialog.h"

#include "platform/session/termination_signals.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString QtSaveDialog::askSavePath(QWidget* owner, const QString& title, const QString& suggestedPath,
                                  const QString& filter)
{
    // The program is ending: it asks nothing more.
    if (TerminationSignals::received())
        return {};
    return QFileDialog::getSaveFileName(owner, title, suggestedPath, filter);
}

QString documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace platform
