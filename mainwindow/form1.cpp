#include "mainwindow/form1.h"

#include "actions/result_actions.h"
#include "actions/result_export.h"
#include "mainwindow/option_box.h"
#include "mainwindow/remembered_walks.h"
#include "mainwindow/result_view.h"
#include "platform/desktop/desktop_shell.h"
#include "platform/desktop/qt_message_boxes.h"
#include "platform/desktop/save_dialog.h"
#include "platform/desktop/select_all_on_focus.h"
#include "platform/desktop/theme_icon_source.h"
#include "platform/desktop/twips.h"
#include "search/results/result_list.h"
#include "search/results/result_order.h"

#include <QAccessible>
#include <QBrush>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

namespace mainwindow {

using platform::px;

namespace {

template <typename W>
W* place(W* widget, const char* name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(px(left), px(top), px(width), px(height));
    return widget;
}

QLabel* label(QWidget* parent, const QString& text, QWidget* buddy)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy); // the field takes its accessible name from its caption
    return l;
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
                          | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      services_(std::move(services))
{
    // What the services leave out, the window makes its own.
    if (!services_.messages)
        ownMessages_ = std::make_unique<platform::QtMessageBoxes>(this);
    if (!services_.icons)
        ownIcons_ = std::make_unique<platform::ThemeIconSource>();
    if (!services_.shell)
        ownShell_ = std::make_unique<platform::DesktopShellServices>();
    messages_ = services_.messages ? services_.messages : ownMessages_.get();
    icons_ = services_.icons ? services_.icons : ownIcons_.get();
    platform::ShellServices* shell = services_.shell ? services_.shell : ownShell_.get();
    if (!services_.saveDialog)
        ownSaveDialog_ = std::make_unique<platform::QtSaveDialog>();

    results_ = new search::ResultList(this);
    results_->setDecoration([icons = icons_](uint32_t image) { return QVariant(icons->icon(image)); });
    order_ = new search::ResultOrder(*results_, this);
    search_ = std::make_unique<search::SearchCommand>(static_cast<search::SearchWindow&>(*this),
                                                      services_.fileSystem, *icons_, *messages_, *results_,
                                                      services_.yieldPolicy, services_.readAhead);
    remembered_ = std::make_unique<RememberedWalks>(services_.memoryFolder, services_.settings);
    results_->setUnconfirmedForeground(QBrush(palette().color(QPalette::Disabled, QPalette::Text)));
    answerSlices_ = new QTimer(this);
    answerSlices_->setInterval(0);
    actions_ = new actions::ResultActions(static_cast<actions::ResultWindow&>(*this), *messages_,
                                          services_.fileSystem, *shell, this);
    export_ = new actions::ResultExport(this, *results_, *order_, *messages_,
                                        services_.saveDialog ? *services_.saveDialog : *ownSaveDialog_, this);

    buildControls();
    buildMenu();
    connectControls();
    runStartUp();
}

Form1::~Form1()
{
    // The list outlives the icon source while the window's children go, and the order that maps
    // it goes first.
    results_->setDecoration({});
    ui_.List1->setModel(nullptr);
    delete order_;
}

void Form1::buildControls()
{
    static const bool windowRole = (QAccessible::installFactory(accessibleWindow), true);
    Q_UNUSED(windowRole);
    setWindowTitle(QStringLiteral("Sorvane"));
    setObjectName(QStringLiteral("Form1"));

    ui_.Text1 = place(new QLineEdit(this), "Text1", 1320, 120, 2175, 270);
    ui_.Combo1 = place(new QComboBox(this), "Combo1", 1320, 480, 2175, 300);
    ui_.Combo1->setEditable(true);
    ui_.Combo1->setInsertPolicy(QComboBox::NoInsert); // locations join the list only after a search
    // The location is what the user typed: nothing fills in the rest of a listed entry.
    ui_.Combo1->setCompleter(nullptr);
    ui_.Combo2 = place(new QComboBox(this), "Combo2", 1320, 840, 2175, 300);
    ui_.Label1 = place(label(this, QStringLiteral("请输入文件名"), ui_.Text1), "Label1", 120, 120, 1215, 255);
    ui_.Label2 = place(label(this, QStringLiteral("搜索位置"), ui_.Combo1), "Label2", 360, 480, 855, 255);
    ui_.Label3 = place(label(this, QStringLiteral("文件类型"), ui_.Combo2), "Label3", 360, 840, 855, 255);
    // On Linux a combo box reads as its value, its caption only as a relation; the text field
    // inside it, where the typing goes, carries the caption itself.
    ui_.Combo1->lineEdit()->setAccessibleName(ui_.Label2->text());
    ui_.Check1 = place(new OptionBox(QStringLiteral("全字匹配"), this), "Check1", 3840, 120, 1215, 255);
    ui_.Check2 = place(new OptionBox(QStringLiteral("区分大小写"), this), "Check2", 3840, 480, 1215, 255);
    ui_.Check3 = place(new OptionBox(QStringLiteral("包括隐藏文件"), this), "Check3", 3840, 840, 1455, 255);
    ui_.Command1 = place(new QPushButton(QStringLiteral("开始搜索"), this), "Command1", 6120, 120, 1695, 375);
    ui_.Command2 = place(new QPushButton(QStringLiteral("停止搜索"), this), "Command2", 6120, 600, 1695, 375);
    // In the gap between the stop button and the list.
    ui_.Check4 = place(new OptionBox(QStringLiteral("拼音匹配"), this), "Check4", 6120, 1020, 1695, 255);
    // Enter belongs to the start button wherever the focus is (see keyPressEvent).
    ui_.Command1->setAutoDefault(false);
    ui_.Command1->setDefault(true);
    ui_.Command2->setAutoDefault(false);

    ui_.List1 = place(new ResultView(this), "List1", 120, 1320, 7935, 4695);
    ui_.List1->setModel(order_);
    ui_.List1->setAccessibleName(QStringLiteral("搜索结果"));

    ui_.StatusBar1 = place(new QStatusBar(this), "StatusBar1", 0, 6090, 8190, 300);
    listLaidOut_ = ui_.List1->geometry();
    statusBarLaidOut_ = ui_.StatusBar1->geometry();
    ui_.StatusBar1->setSizeGripEnabled(false);
    ui_.Panel1 = new QLabel(ui_.StatusBar1);
    ui_.Panel2 = new QLabel(ui_.StatusBar1);
    ui_.Panel1->setObjectName(QStringLiteral("Panel1"));
    ui_.Panel2->setObjectName(QStringLiteral("Panel2"));
    // Panel 2 shows folder paths, which may read like markup.
    ui_.Panel1->setTextFormat(Qt::PlainText);
    ui_.Panel2->setTextFormat(Qt::PlainText);
    // The panels read as their texts; the descriptions tell which is which.
    ui_.Panel1->setAccessibleDescription(QStringLiteral("搜索状态"));
    ui_.Panel2->setAccessibleDescription(QStringLiteral("搜索进度"));
    ui_.StatusBar1->addWidget(ui_.Panel1);

    setTabOrder(ui_.Text1, ui_.Command1);
    setTabOrder(ui_.Command1, ui_.List1);
    setTabOrder(ui_.List1, ui_.Command2);
    setTabOrder(ui_.Command2, ui_.Combo1);
    setTabOrder(ui_.Combo1, ui_.Check1);
    setTabOrder(ui_.Check1, ui_.Check2);
    setTabOrder(ui_.Check2, ui_.Combo2);
    setTabOrder(ui_.Combo2, ui_.Check3);
    setTabOrder(ui_.Check3, ui_.Check4);
    platform::selectAllOnFocus(ui_.Text1);
}

void Form1::buildMenu()
{
    ui_.mnuMain = new QMenu(QStringLiteral("mnuMain"), this);
    ui_.mnuMain->setObjectName(QStringLiteral("mnuMain"));
    const std::pair<QAction**, std::pair<const char*, const char16_t*>> items[] = {
        {&ui_.mnuOpen, {"mnuOpen", u"打开"}},     {&ui_.mnuOpenDir, {"mnuOpenDir", u"定位"}},
        {&ui_.mnuCopy, {"mnuCopy", u"复制"}},     {&ui_.mnuDelete, {"mnuDelete", u"删除"}},
        {&ui_.mnuRename, {"mnuRename", u"重命名"}}, {&ui_.mnuAttrib, {"mnuAttrib", u"属性"}}};
    for (const auto& [action, names] : items) {
        *action = ui_.mnuMain->addAction(QString::fromUtf16(names.second));
        (*action)->setObjectName(QString::fromLatin1(names.first));
    }
    ui_.mnuMain->addSeparator();
    ui_.mnuExport = ui_.mnuMain->addAction(QStringLiteral("导出结果…"));
    ui_.mnuExport->setObjectName(QStringLiteral("mnuExport"));
    // Rename and properties are for one row; the others act on every row selected. An export
    // needs rows.
    connect(ui_.mnuMain, &QMenu::aboutToShow, this, [this] {
        const bool one = !ui_.List1->severalRowsSelected();
        ui_.mnuRename->setEnabled(one);
        ui_.mnuAttrib->setEnabled(one);
        ui_.mnuExport->setEnabled(order_->rowCount() > 0);
    });
}

void Form1::connectControls()
{
    using actions::ResultActions;
    connect(ui_.Command1, &QPushButton::clicked, this, &Form1::StartSearch);
    connect(ui_.Command2, &QPushButton::clicked, this, [this] { search_->StopSearch(); });
    connect(ui_.Text1, &QLineEdit::textEdited, this, &Form1::showRememberedAnswer);
    connect(ui_.Combo2, &QComboBox::activated, this, &Form1::showRememberedAnswer);
    for (OptionBox* box : {ui_.Check1, ui_.Check2, ui_.Check3, ui_.Check4})
        connect(box, &QCheckBox::clicked, this, &Form1::showRememberedAnswer);
    connect(answerSlices_, &QTimer::timeout, this, [this] {
        // Slices small enough that a key typed meanwhile waits no longer than one of them.
        if (!search_->continueRemembered(16 * 1024))
            answerSlices_->stop();
    });
    connect(ui_.List1, &ResultView::mouseReleased, actions_, &ResultActions::listMouseReleased);
    connect(ui_.List1, &QAbstractItemView::doubleClicked, actions_, &ResultActions::rowDoubleClicked);
    connect(ui_.List1, &ResultView::deleteKeyPressed, actions_, &ResultActions::deleteClicked);
    connect(ui_.List1, &ResultView::renameKeyPressed, actions_, &ResultActions::renameClicked);
    connect(ui_.List1, &ResultView::menuKeyPressed, this, [this] {
        if (results_->rowCount() > 0)
            ui_.mnuMain->exec(
                ui_.List1->viewport()->mapToGlobal(ui_.List1->visualRect(ui_.List1->currentIndex()).center()));
    });
    connect(ui_.mnuOpen, &QAction::triggered, actions_, &ResultActions::openClicked);
    connect(ui_.mnuOpenDir, &QAction::triggered, actions_, &ResultActions::locateClicked);
    connect(ui_.mnuCopy, &QAction::triggered, actions_, &ResultActions::copyClicked);
    connect(ui_.mnuDelete, &QAction::triggered, actions_, &ResultActions::deleteClicked);
    connect(ui_.mnuRename, &QAction::triggered, actions_, &ResultActions::renameClicked);
    connect(ui_.mnuAttrib, &QAction::triggered, actions_, &ResultActions::propertiesClicked);
    connect(ui_.mnuExport, &QAction::triggered, export_, &actions::ResultExport::exportClicked);
}

} // namespace mainwindow
