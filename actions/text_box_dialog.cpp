#include "actions/text_box_dialog.h"

#include "platform/desktop/select_all_on_focus.h"

#include "platform/desktop/twips.h"
#include "platform/message_boxes.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace actions {

using platform::px;

TextBoxDialog::TextBoxDialog(QWidget* owner, platform::MessageBoxes& messages, const QString& caption,
                             const QString& label, const TextBoxLayout& layout)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                         | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      messages_(messages)
{
    setWindowTitle(caption);
    if (owner)
        setWindowIcon(owner->windowIcon());
    setFixedSize(px(layout.clientWidth), px(layout.clientHeight));

    Text1 = new QLineEdit(this);
    Text1->setGeometry(px(240), px(layout.textTop), px(layout.textWidth), px(270));
    Label1 = new QLabel(label, this);
    Label1->setGeometry(px(240), px(layout.labelTop), px(layout.labelWidth), px(255));
    Label1->setBuddy(Text1); // the field takes its accessible name from its caption
    Command1 = new QPushButton(QStringLiteral("确定"), this);
    Command1->setGeometry(px(720), px(layout.buttonTop), px(1215), px(375));
    Command1->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("取消"), this);
    Command2->setGeometry(px(2040), px(layout.buttonTop), px(1215), px(375));

    const std::pair<QWidget*, const char*> names[] = {
        {Label1, "Label1"}, {Text1, "Text1"}, {Command1, "Command1"}, {Command2, "Command2"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(QString::fromLatin1(name));
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();
    platform::selectAllOnFocus(Text1);

    connect(Command1, &QPushButton::clicked, this, [this] { okClicked(); });
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

bool TextBoxDialog::refuseBlank(const QString& trimmed)
{
    if (!trimmed.isEmpty())
        return false;
    messages_.show(QStringLiteral("请输入文件名"), platform::MessageStyle::ExclamationOk, QStringLiteral("提示"));
    Text1->clear();
    Text1->setFocus();
    return true;
}

void TextBoxDialog::keyPressEvent(QKeyEvent* event)
{
    // No button answers Escape; only Cancel and the title bar close the dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace actions
