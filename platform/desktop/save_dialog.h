#pragma once

#include <QString>

class QWidget;

namespace platform {

// Asks the user where a file is to be saved. Tests put their own in.
class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    // The path chosen, starting from the suggested one (a folder and a name), or the empty text
    // when the user cancelled. Where a file is there already, the user has agreed to replace it.
    virtual QString askSavePath(QWidget* owner, const QString& title, const QString& suggestedPath,
                                const QString& filter) = 0;
};

// The window toolkit's save dialog.
class QtSaveDialog : public SaveDialog {
public:
    QString askSavePath(QWidget* owner, const QString& title, const QString& suggestedPath,
                        const QString& filter) override;
};

// The user's documents folder, or the home folder where that does not exist.
QString documentsFolder();

} // namespace platform
