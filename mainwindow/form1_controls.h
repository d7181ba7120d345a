#pragma once

#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;

namespace mainwindow {

class OptionBox;
class ResultView;

// The main window's controls found by their object names, for the benchmark driver and tests
// that drive the window as a user would.
struct Form1Controls {
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* Text1;
    QComboBox* Combo1;
    QComboBox* Combo2;
    OptionBox* Check1;
    OptionBox* Check2;
    OptionBox* Check3;
    OptionBox* Check4;
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
    QAction* mnuExport;

    static Form1Controls of(QWidget& window);
};

} // namespace mainwindow
