#include "mainwindow/form1.h"

#include "actions/result_actions.h"
#include "mainwindow/option_box.h"
#include "mainwindow/option_settings.h"
#include "mainwindow/result_view.h"
#include "platform/desktop_shell.h"
#include "platform/file_name_text.h"
#include "platform/mount_table.h"
#include "platform/qt_message_boxes.h"
#include "platform/select_all_on_focus.h"
#include "platform/theme_icon_source.h"
#include "platform/twips.h"
#include "search/file_type_categories.h"
#include "search/result_list.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

namespace mainwindow {

using platform::px;

namespace {

template <typename W>
W* place(W* widget, int left, int top, int width, int height)
{
    widget->setGeometry(px(left), px(top), px(width), px(height));
    return widget;
}

QLabel* label(QWidget* parent, const QString& text, QWidget* buddy)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy); // the field takes its accessible name from its caption
    return l;
}

// The stored states are 0 unticked, 1 ticked, 2 greyed; Qt counts greyed as 1 and ticked as 2.
Qt::CheckState checkStateFor(int state)
{
    return state == 1 ? Qt::Checked : state == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

int stateOf(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    case Qt::Unchecked: break;
    }
    return 0;
}

// Qt reads a plain top-level widget as a filler; screen readers announce a window by its frame.
QAccessibleInterface* accessibleWindow(const QString& className, QObject* object)
{
    if (className == QLatin1String(Form1::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      services_(std::move(services))
{
    if (!services_.messages) {
        ownMessages_ = std::make_unique<platform::QtMessageBoxes>(this);
        messages_ = ownMessages_.get();
    } else {
        messages_ = services_.messages;
    }
    icons_ = std::make_unique<platform::ThemeIconSource>();
    results_ = new search::ResultList(this);
    results_->setDecoration([icons = icons_.get()](uint32_t image) { return QVariant(icons->icon(image)); });
    search_ = std::make_unique<search::SearchCommand>(static_cast<platform::SearchControls&>(*this), services_.fileSystem, *icons_, *messages_,
                                                      *results_, services_.yieldPolicy);
    platform::ShellServices* shell = services_.shell;
    if (!shell) {
        ownShell_ = std::make_unique<platform::DesktopShellServices>();
        shell = ownShell_.get();
    }
    actions_ = new actions::ResultActions(static_cast<actions::ResultWindow&>(*this), *messages_, services_.fileSystem,
                                          *shell, this);

    buildControls();
    runStartUp();
}

Form1::~Form1()
{
    // The list outlives the icon source while the window's children go.
    results_->setDecoration({});
}

void Form1::buildControls()
{
    static const bool windowRole = (QAccessible::installFactory(accessibleWindow), true);
    Q_UNUSED(windowRole);
    setWindowTitle(QStringLiteral("Sorvane"));
    setObjectName(QStringLiteral("Form1"));

    Text1 = place(new QLineEdit(this), 1320, 120, 2175, 270);
    Combo1 = place(new QComboBox(this), 1320, 480, 2175, 300);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert); // locations join the list only after a search
    Combo2 = place(new QComboBox(this), 1320, 840, 2175, 300);
    Label1 = place(label(this, QStringLiteral("请输入文件名"), Text1), 120, 120, 1215, 255);
    Label2 = place(label(this, QStringLiteral("搜索位置"), Combo1), 360, 480, 855, 255);
    Label3 = place(label(this, QStringLiteral("文件类型"), Combo2), 360, 840, 855, 255);
    // On Linux a combo box reads as its value, its caption only as a relation; the text field
    // inside it, where the typing goes, carries the caption itself.
    Combo1->lineEdit()->setAccessibleName(Label2->text());
    Check1 = place(new OptionBox(QStringLiteral("全字匹配"), this), 3840, 120, 1215, 255);
    Check2 = place(new OptionBox(QStringLiteral("区分大小写"), this), 3840, 480, 1215, 255);
    Check3 = place(new OptionBox(QStringLiteral("包括隐藏文件"), this), 3840, 840, 1455, 255);
    Command1 = place(new QPushButton(QStringLiteral("开始搜索"), this), 6120, 120, 1695, 375);
    Command2 = place(new QPushButton(QStringLiteral("停止搜索"), this), 6120, 600, 1695, 375);
    // Enter belongs to the start button wherever the focus is (see keyPressEvent).
    Command1->setAutoDefault(false);
    Command1->setDefault(true);
    Command2->setAutoDefault(false);

    List1 = place(new ResultView(this), 120, 1320, 7935, 4695);
    List1->setModel(results_);
    List1->setAccessibleName(QStringLiteral("搜索结果"));

    StatusBar1 = place(new QStatusBar(this), 0, 6090, 8190, 300);
    StatusBar1->setSizeGripEnabled(false);
    Panel1 = new QLabel(StatusBar1);
    Panel2 = new QLabel(StatusBar1);
    // The panels read as their texts; the descriptions tell which is which.
    Panel1->setAccessibleDescription(QStringLiteral("搜索状态"));
    Panel2->setAccessibleDescription(QStringLiteral("搜索进度"));
    StatusBar1->addWidget(Panel1);

    mnuMain = new QMenu(QStringLiteral("mnuMain"), this);
    mnuOpen = mnuMain->addAction(QStringLiteral("打开"));
    mnuOpenDir = mnuMain->addAction(QStringLiteral("定位"));
    mnuCopy = mnuMain->addAction(QStringLiteral("复制"));
    mnuDelete = mnuMain->addAction(QStringLiteral("删除"));
    mnuRename = mnuMain->addAction(QStringLiteral("重命名"));
    mnuAttrib = mnuMain->addAction(QStringLiteral("属性"));
    const std::pair<QAction*, const char*> names[] = {
        {mnuOpen, "mnuOpen"}, {mnuOpenDir, "mnuOpenDir"}, {mnuCopy, "mnuCopy"},
        {mnuDelete, "mnuDelete"}, {mnuRename, "mnuRename"}, {mnuAttrib, "mnuAttrib"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QString::fromLatin1(name));

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, List1);
    setTabOrder(List1, Command2);
    setTabOrder(Command2, Combo1);
    setTabOrder(Combo1, Check1);
    setTabOrder(Check1, Check2);
    setTabOrder(Check2, Combo2);
    setTabOrder(Combo2, Check3);
    platform::selectAllOnFocus(Text1);

    connect(Command1, &QPushButton::clicked, this, &Form1::StartSearch);
    connect(Command2, &QPushButton::clicked, this, [this] { search_->StopSearch(); });
    connect(List1, &ResultView::mouseReleased, actions_, &actions::ResultActions::List1_MouseUp);
    connect(List1, &QAbstractItemView::doubleClicked, actions_, &actions::ResultActions::List1_DblClick);
    connect(List1, &ResultView::deleteKeyPressed, actions_, &actions::ResultActions::mnuDelete_Click);
    connect(List1, &ResultView::renameKeyPressed, actions_, &actions::ResultActions::mnuRename_Click);
    connect(List1, &ResultView::menuKeyPressed, this, [this] {
        if (results_->rowCount() > 0)
            mnuMain->exec(List1->viewport()->mapToGlobal(List1->visualRect(List1->currentIndex()).center()));
    });
    connect(mnuOpen, &QAction::triggered, actions_, &actions::ResultActions::mnuOpen_Click);
    connect(mnuOpenDir, &QAction::triggered, actions_, &actions::ResultActions::mnuOpenDir_Click);
    connect(mnuCopy, &QAction::triggered, actions_, &actions::ResultActions::mnuCopy_Click);
    connect(mnuDelete, &QAction::triggered, actions_, &actions::ResultActions::mnuDelete_Click);
    connect(mnuRename, &QAction::triggered, actions_, &actions::ResultActions::mnuRename_Click);
    connect(mnuAttrib, &QAction::triggered, actions_, &actions::ResultActions::mnuAttrib_Click);
}

// Runs once before the window first shows; a step that fails leaves its default and the next
// step runs.
void Form1::runStartUp()
{
    if (services_.settings) {
        const OptionStates states = restoreOptionStates(*services_.settings);
        OptionBox* boxes[] = {Check1, Check2, Check3};
        for (size_t box = 0; box < states.size(); ++box)
            boxes[box]->setCheckState(checkStateFor(states[box]));
    }

    setFixedSize(px(8190), px(6390));

    const int widths[] = {2000, 3500, 2350};
    for (int column = 0; column < 3; ++column)
        List1->horizontalHeader()->resizeSection(column, px(widths[column]));
    List1->setFont(QFont(QStringLiteral("Timers New Roman"), 9));

    Combo1->addItem(QStringLiteral("全盘搜索"));
    const QStringList volumes = services_.probeVolumes ? services_.probeVolumes() : platform::listMachineVolumes();
    Combo1->addItems(volumes);
    Combo1->setEditText(QStringLiteral("全盘搜索"));

    Panel1->setFixedWidth(px(2000));
    StatusBar1->addWidget(Panel2);
    Panel2->setFixedWidth(px(6000));

    for (const search::FileTypeCategory& category : search::fileTypeCategories())
        Combo2->addItem(category.caption);
    Combo2->setCurrentIndex(0);

    Command2->setEnabled(false);
    Text1->setFocus();
}

void Form1::StartSearch()
{
    search_->StartSearch();
    emit searchFinished();
    if (closedDuringSearch_)
        QApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event)
{
    closedDuringSearch_ = search_->isRunning();
    search_->CloseWindow();
    if (services_.settings)
        saveOptionStates(*services_.settings, {stateOf(Check1), stateOf(Check2), stateOf(Check3)});
    event->accept();
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && event->modifiers() == Qt::NoModifier) {
        if (Command1->isEnabled())
            Command1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString Form1::nameText() const
{
    return Text1->text();
}

QString Form1::locationText() const
{
    return Combo1->currentText();
}

int Form1::locationCount() const
{
    return Combo1->count();
}

QString Form1::locationEntry(int index) const
{
    return Combo1->itemText(index);
}

void Form1::appendLocation(const QString& text)
{
    const QString shown = Combo1->currentText();
    Combo1->addItem(text);
    Combo1->setEditText(shown);
}

int Form1::categoryIndex() const
{
    return Combo2->currentIndex();
}

int Form1::checkState(int box) const
{
    const OptionBox* boxes[] = {Check1, Check2, Check3};
    return box >= 1 && box <= 3 ? stateOf(boxes[box - 1]) : 0;
}

void Form1::setEnabled(platform::Control control, bool enabled)
{
    using platform::Control;
    QWidget* widget = nullptr;
    switch (control) {
    case Control::Check1: widget = Check1; break;
    case Control::Check2: widget = Check2; break;
    case Control::Check3: widget = Check3; break;
    case Control::Combo2: widget = Combo2; break;
    case Control::Command1: widget = Command1; break;
    case Control::Command2: widget = Command2; break;
    }
    widget->setEnabled(enabled);
}

void Form1::setCategoryBackground(platform::SystemColour colour)
{
    QPalette palette = Combo2->palette();
    const QPalette system = QApplication::palette();
    const QColor background = colour == platform::SystemColour::ButtonFace ? system.color(QPalette::Button)
                                                                            : system.color(QPalette::Base);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::Base, background);
    Combo2->setPalette(palette);
}

void Form1::setStatusText(int panel, const QString& text)
{
    (panel == 1 ? Panel1 : Panel2)->setText(text);
}

void Form1::processEvents()
{
    QApplication::processEvents();
}

int Form1::selectedResultRow() const
{
    return List1->selectedRow();
}

void Form1::showResultMenu()
{
    mnuMain->exec(QCursor::pos());
}

void Form1::diskChanged(const QByteArray&)
{
}

void Form1::entryRenamed(const QByteArray&, const QByteArray&)
{
}

void Form1::showLocation(const QByteArray& folder)
{
    Combo1->setEditText(platform::pathText(folder));
}

} // namespace mainwindow
