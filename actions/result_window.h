#pragma once

#include <QByteArray>

#include <vector>

class QWidget;

namespace search {
class ResultList;
}

namespace actions {

// What the result actions need of the main window.
class ResultWindow {
public:
    virtual ~ResultWindow() = default;
    virtual QWidget* ownerWindow() = 0;
    virtual search::ResultList& resultList() = 0;
    virtual int selectedResultRow() const = 0; // -1 when no row is selected
    // Every selected row, in the order the list shows them; the one selected row where the window
    // selects one at a time.
    virtual std::vector<int> selectedResultRows() const
    {
        const int row = selectedResultRow();
        return row < 0 ? std::vector<int>{} : std::vector<int>{row};
    }
    // Makes these rows (of resultList()) the selection.
    virtual void selectResultRows(const std::vector<int>& rows) = 0;
    // Shows mnuMain at the pointer; returns when the chosen item's action has run.
    virtual void showResultMenu() = 0;

    // An action changed the disk at a path (deleted it, or copied something there) or renamed an
    // entry; a search that runs meanwhile must not go on reporting what it read there before.
    virtual void diskChanged(const QByteArray& path) = 0;
    virtual void entryRenamed(const QByteArray& from, const QByteArray& to) = 0;
    // An action deleted the entry at a path: its row, and those of the entries below it, go.
    virtual void entryDeleted(const QByteArray& path) = 0;
    // Several at once: their rows go in one pass over the list.
    virtual void entriesDeleted(const std::vector<QByteArray>& paths)
    {
        for (const QByteArray& path : paths)
            entryDeleted(path);
    }
};

} // namespace actions
