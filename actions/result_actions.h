#pragma once

#include <QObject>
#include <QString>

namespace platform {
class FileSystem;
class MessageBoxes;
} // namespace platform

namespace actions {

class ResultWindow;

// The popup menu's six actions on the selected result row, and the double-click.
class ResultActions : public QObject {
    Q_OBJECT
public:
    ResultActions(ResultWindow& window, platform::MessageBoxes& messages,
                  platform::FileSystem& fileSystem, QObject* parent = nullptr);

    const QString& SelectedPath() const { return selectedPath_; }

public slots:
    void List1_MouseUp(Qt::MouseButton button);
    void List1_DblClick();
    void mnuOpen_Click();
    void mnuOpenDir_Click();
    void mnuCopy_Click();
    void mnuDelete_Click();
    void mnuRename_Click();
    void mnuAttrib_Click();

private:
    ResultWindow& window_;
    platform::MessageBoxes& messages_;
    platform::FileSystem& fileSystem_;
    QString selectedPath_;
};

} // namespace actions
