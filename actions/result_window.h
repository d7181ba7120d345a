#pragma once

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
    // Shows mnuMain at the pointer; returns when the chosen item's action has run.
    virtual void showResultMenu() = 0;
};

} // namespace actions
