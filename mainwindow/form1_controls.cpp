#include "mainwindow/form1_controls.h"

#include "mainwindow/option_box.h"
#include "mainwindow/result_view.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

namespace mainwindow {

Form1Controls Form1Controls::of(QWidget& w)
{
    const auto find = [&w]<typename T>(T*& into, const char* name) {
        into = w.findChild<T*>(QString::fromLatin1(name));
        Q_ASSERT(into);
    };
    Form1Controls c{};
    find(c.Label1, "Label1");
    find(c.Label2, "Label2");
    find(c.Label3, "Label3");
    find(c.Text1, "Text1");
    find(c.Combo1, "Combo1");
    find(c.Combo2, "Combo2");
    find(c.Check1, "Check1");
    find(c.Check2, "Check2");
    find(c.Check3, "Check3");
    find(c.Check4, "Check4");
    find(c.Command1, "Command1");
    find(c.Command2, "Command2");
    find(c.List1, "List1");
    find(c.StatusBar1, "StatusBar1");
    find(c.Panel1, "Panel1");
    find(c.Panel2, "Panel2");
    find(c.mnuMain, "mnuMain");
    find(c.mnuOpen, "mnuOpen");
    find(c.mnuOpenDir, "mnuOpenDir");
    find(c.mnuCopy, "mnuCopy");
    find(c.mnuDelete, "mnuDelete");
    find(c.mnuRename, "mnuRename");
    find(c.mnuAttrib, "mnuAttrib");
    find(c.mnuExport, "mnuExport");
    return c;
}

} // namespace mainwindow
