#pragma once

#include "actions/result_window.h"
#include "mainwindow/form1_controls.h"
#include "search/search_command.h"
#include "search/search_window.h"

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace platform {
class FileSystem;
class MessageBoxes;
class RowIconSource;
class SaveDialog;
class SettingsStore;
class ShellServices;
} // namespace platform
namespace search {
class ResultList;
class ResultOrder;
} // namespace search
namespace actions {
class ResultActions;
class ResultExport;
} // namespace actions

namespace mainwindow {

class RememberedWalks;

// What the window runs on. Tests and the benchmark driver put their own in.
struct Form1Services {
    platform::FileSystem& fileSystem;
    platform::MessageBoxes* messages = nullptr;  // nothing: the toolkit's message boxes
    platform::SettingsStore* settings = nullptr; // nothing: the options are neither read nor saved
    std::function<QList<QByteArray>()> probeVolumes; // nothing: this machine's mount table
    search::YieldPolicy yieldPolicy = search::YieldPolicy::every(std::chrono::milliseconds(8));
    platform::ShellServices* shell = nullptr;    // nothing: the desktop's
    platform::RowIconSource* icons = nullptr;    // nothing: the desktop icon theme's
    platform::SaveDialog* saveDialog = nullptr;  // nothing: the toolkit's
    search::ReadAheadPolicy readAhead;           // folders read ahead on worker threads
    // Where the walks' memory is kept across starts; empty: it lasts as long as the window.
    QString memoryFolder;
};

// The search window: the request controls, the result list, the status bar and the popup menu.
// Its controls carry the object names that tests and screen readers know them by
// (Form1Controls finds them).
class Form1 : public QWidget, private search::SearchWindow, private actions::ResultWindow {
    Q_OBJECT
public:
    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    search::ResultList& results() { return *results_; }
    // The order the list shows the rows in; the view's rows are this model's.
    search::ResultOrder& resultOrder() { return *order_; }
    search::SearchCommand& searchCommand() { return *search_; }
    actions::ResultActions& resultActions() { return *actions_; }
    actions::ResultExport& resultExport() { return *export_; }
    // Waits until the walks' memory has been read from its file, where it is still being read.
    void waitForMemory();
    // Shows a folder in the location field, ready to be searched; starts nothing.
    void showLocation(const QByteArray& folder);
    // The window was closed while a search ran; the program ends once that search is done.
    bool closedDuringSearch() const { return closedDuringSearch_; }

signals:
    // A search ran to its end (refused locations start none).
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void connectControls();
    void runStartUp();
    void StartSearch();
    // A change of the name, the type or an option box: the memory's answer to it, where its
    // location is remembered and no search runs; it starts no walk.
    void showRememberedAnswer();

    // What the user asked for, as the controls hold it now.
    search::SearchRequest currentRequest() const;
    // The bytes the window knows for a location text: a listed entry's, or those of the folder it
    // was asked to show; nothing for a text the user typed.
    std::optional<QByteArray> knownLocationBytes(const QString& text) const;

    // search::SearchWindow
    void setSearching(bool searching) override;
    void showStatus(search::StatusPanel panel, const QString& text) override;
    void rememberLocation(const search::LocationEntry& searched) override;
    void processEvents() override;

    // actions::ResultWindow
    QWidget* ownerWindow() override { return this; }
    search::ResultList& resultList() override { return *results_; }
    int selectedResultRow() const override;
    std::vector<int> selectedResultRows() const override;
    void selectResultRows(const std::vector<int>& rows) override;
    void showResultMenu() override;
    void diskChanged(const QByteArray& path) override;
    void entryRenamed(const QByteArray& from, const QByteArray& to) override;
    void entryDeleted(const QByteArray& path) override;
    void entriesDeleted(const std::vector<QByteArray>& paths) override;

    Form1Services services_;
    std::unique_ptr<platform::MessageBoxes> ownMessages_;
    platform::MessageBoxes* messages_;
    std::unique_ptr<platform::ShellServices> ownShell_;
    std::unique_ptr<platform::RowIconSource> ownIcons_;
    std::unique_ptr<platform::SaveDialog> ownSaveDialog_;
    platform::RowIconSource* icons_;
    search::ResultList* results_;
    search::ResultOrder* order_;
    std::unique_ptr<search::SearchCommand> search_;
    actions::ResultActions* actions_;
    actions::ResultExport* export_;
    bool closedDuringSearch_ = false;
    std::unique_ptr<RememberedWalks> remembered_;
    QTimer* answerSlices_ = nullptr; // adds the rest of an answer from memory between events
    // The folder last handed to showLocation, by its shown text and its bytes.
    QString shownLocationText_;
    QByteArray shownLocationBytes_;

    Form1Controls ui_; // every control, by the name it is known by
    // Where the list and the status bar stand, and panel 2's width, at the size laid out; a larger
    // window grows them from there.
    QRect listLaidOut_;
    QRect statusBarLaidOut_;
    int panel2LaidOut_ = 0;
};

} // namespace mainwindow
