#pragma once

#include "platform/desktop/entry_properties.h"

#include <QDialog>

namespace platform {

// The program's own properties of an entry, for a desktop without a file manager that shows
// them: a small window that is not modal, owned by the main window, closed by the user.
class PropertiesDialog : public QDialog {
    Q_OBJECT
public:
    PropertiesDialog(const EntryProperties& properties, QWidget* owner);
};

// Shows the dialog for the entry at the path; nothing when the entry has gone.
PropertiesDialog* showPropertiesDialog(const QByteArray& path, QWidget* owner);

} // namespace platform
