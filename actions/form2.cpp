#include "actions/form2.h"

#include "platform/message_boxes.h"
#include "search/text_rules.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace actions {
namespace {

constexpr TextBoxLayout kLayout{3840, 1320, 120, 1695, 360, 3495, 840};

bool isIllegalTyped(QStringView text)
{
    static const QString illegal = QStringLiteral("/\\|:*?<>");
    for (QChar c : text)
        if (illegal.contains(c))
            return true;
    return false;
}

} // namespace

Form2::Form2(QWidget* owner, platform::MessageBoxes& messages, const QString& name)
    : TextBoxDialog(owner, messages, QStringLiteral("重命名文件"), QStringLiteral("请输入新名字："), kLayout)
{
    setObjectName(QStringLiteral("Form2"));
    Text1->setText(name);
    Text1->setSelection(int(name.size()), -int(name.size())); // all of it, the caret at the start
    Text1->installEventFilter(this); // the refused keys
}

void Form2::refuseIllegal()
{
    messages_.show(QStringLiteral("文件名包含非法字符"), platform::MessageStyle::StopOk, QStringLiteral("提示"));
}

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Text1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isIllegalTyped(key->text())) {
            refuseIllegal(); // the key never reaches the text
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Form2::Command1_Click()
{
    const QString name = search::trimBlanks(Text1->text());
    if (refuseBlank(name))
        return;
    // A "/" would put the entry into another folder, "." and ".." name folders that exist, and a
    // NUL would cut the name short on its way to the file system.
    if (name.contains(u'/') || name.contains(QChar(u'\0')) || name == u"." || name == u"..") {
        refuseIllegal();
        Text1->setFocus();
        return;
    }
    newName_ = name;
    accept();
}

} // namespace actions
