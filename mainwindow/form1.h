#pragma once

#include "actions/result_window.h"
#include "platform/search_controls.h"
#include "search/search_command.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;

namespace platform {
class FileSystem;
class MessageBoxes;
class QtMessageBoxes;
class SettingsStore;
class ShellServices;
class ThemeIconSource;
} // namespace platform
namespace search {
class ResultList;
}
namespace actions {
class ResultActions;
}

namespace mainwindow {

class OptionBox;
class ResultView;

// What the window runs on. Tests and the benchmark driver put their own in.
struct Form1Services {
    platform::FileSystem& fileSystem;
    platform::MessageBoxes* messages = nullptr;  // nothing: the toolkit's message boxes
    platform::SettingsStore* settings = nullptr; // nothing: the options are neither read nor saved
    std::function<QStringList()> probeVolumes;   // nothing: this machine's mount table
    search::YieldPolicy yieldPolicy{std::chrono::milliseconds(8)};
    platform::ShellServices* shell = nullptr;    // nothing: the desktop's
};

// The search window: the request controls, the result list, the status bar and the popup menu.
class Form1 : public QWidget, private platform::SearchControls, private actions::ResultWindow {
    Q_OBJECT
public:
    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* Text1;
    QComboBox* Combo1;
    QComboBox* Combo2;
    OptionBox* Check1;
    OptionBox* Check2;
    OptionBox* Check3;
    QPushButton* Command1;
    QPushButton* Command2;
    ResultView* List1;
    QStatusBar* StatusBar1;
    QLabel* Panel1;
    QLabel* Panel2;
    QMenu* mnuMain;
    QAction* mnuOpen;
    QAction* mnuOpenDir;
    QAction* mnuCopy;
    QAction* mnuDelete;
    QAction* mnuRename;
    QAction* mnuAttrib;

    search::ResultList& results() { return *results_; }
    search::SearchCommand& searchCommand() { return *search_; }
    actions::ResultActions& resultActions() { return *actions_; }
    // Shows a folder in the location field, ready to be searched; starts nothing.
    void showLocation(const QByteArray& folder);
    // The window was closed while a search ran; the program ends once that search is done.
    bool closedDuringSearch() const { return closedDuringSearch_; }

signals:
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void runStartUp();
    void StartSearch();

    // platform::SearchControls
    QString nameText() const override;
    QString locationText() const override;
    int locationCount() const override;
    QString locationEntry(int index) const override;
    void appendLocation(const QString& text) override;
    int categoryIndex() const override;
    int checkState(int box) const override;
    void setEnabled(platform::Control control, bool enabled) override;
    void setCategoryBackground(platform::SystemColour colour) override;
    void setStatusText(int panel, const QString& text) override;
    void processEvents() override;

    // actions::ResultWindow
    QWidget* ownerWindow() override { return this; }
    search::ResultList& resultList() override { return *results_; }
    int selectedResultRow() const override;
    void showResultMenu() override;
    void diskChanged(const QByteArray& path) override;
    void entryRenamed(const QByteArray& from, const QByteArray& to) override;

    Form1Services services_;
    std::unique_ptr<platform::QtMessageBoxes> ownMessages_;
    platform::MessageBoxes* messages_;
    std::unique_ptr<platform::ShellServices> ownShell_;
    std::unique_ptr<platform::ThemeIconSource> icons_;
    search::ResultList* results_;
    std::unique_ptr<search::SearchCommand> search_;
    actions::ResultActions* actions_;
    bool closedDuringSearch_ = false;
};

} // namespace mainwindow
