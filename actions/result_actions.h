#pragma once

#include "actions/background_operation.h"
#include "platform/fileops/locate_entry.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <vector>

namespace platform {
class FileSystem;
class MessageBoxes;
class ShellServices;
} // namespace platform

namespace search {
struct ResultRow;
}

namespace actions {

class ResultWindow;
enum class CopyOutcome;

// The popup menu's six actions on the selected result row, and the double-click. Each takes its
// target from the selected row; the row's own bytes are what reach the file system. They may run
// inside a search's yield: they only change rows that exist, and the walk then resumes. A folder
// delete and every copy run with the progress window (see runWithProgress), so the walk stays
// suspended until they end.
// With several rows selected, open, locate, copy and delete act on every one of them, in the
// order shown (result_actions_many.cpp): a copy or a delete as one operation with one progress
// window, each entry checked as for one row; rename and properties, for one row, do nothing.
class ResultActions : public QObject {
    Q_OBJECT
public:
    ResultActions(ResultWindow& window, platform::MessageBoxes& messages, platform::FileSystem& fileSystem,
                  platform::ShellServices& shell, QObject* parent = nullptr, ProgressPolicy progress = {});

    // The full path of the row that the latest action worked on, as shown, and as bytes.
    const QString& SelectedPath() const { return selectedPath_; }
    const QByteArray& selectedPathBytes() const { return selectedPathBytes_; }

public slots:
    // A right release over a row shows the menu; over no row, nothing.
    void listMouseReleased(Qt::MouseButton button, bool overRow);
    void rowDoubleClicked();
    void openClicked();
    void locateClicked();
    void copyClicked();
    void deleteClicked();
    void renameClicked();
    void propertiesClicked();

private:
    // The selected row's position after taking its path, or -1 when no row is selected.
    int takeSelectedRow();
    void fail(const QString& message);
    CopyOutcome copyInto(const platform::EntryRef& from, const QByteArray& name, const QByteArray& target);

    // A selected row's entry, and its name as the row holds it.
    struct RowEntry {
        platform::EntryRef entry;
        QByteArray name;
    };
    bool severalSelected() const;
    // The selected rows' entries, in the order shown; SelectedPath takes the first one's path.
    std::vector<RowEntry> takeSelectedRows();
    void openRows(bool locate);
    void deleteRows();
    void copyRows();
    CopyOutcome copyRowsInto(const std::vector<RowEntry>& entries, const QByteArray& target, int& failed);
    // The rows of these entries, where still listed, become the selection.
    void keepSelected(const std::vector<RowEntry>& left);

    ResultWindow& window_;
    platform::MessageBoxes& messages_;
    platform::FileSystem& fileSystem_;
    platform::ShellServices& shell_;
    ProgressPolicy progress_;
    QString selectedPath_;
    QByteArray selectedPathBytes_;
};

} // namespace actions
