#include "actions/form2.h"

#include "platform/message_boxes.h"
#include "search/match/text_rules.h"

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

// A "/" would put the entry into another folder, "." and ".." name folders that exist, a NUL
// would cut the name short on its way to the file system, and a newline or another control
// character makes a name that no one can type again.
bool isRefusedAtOk(const QString& name)
{
    if (name == u"." || name == u"..")
        return true;
    for (QChar c : name)
        if (c == u'/' || c.category() == QChar::Other_Control)
            return true;
    return false;
}

qsizetype leadingBlanks(const QString& text)
{
    qsizetype n = 0;
    while (n < text.size() && text[n] == u' ')
        ++n;
    return n;
}

qsizetype trailingBlanks(const QString& text)
{
    qsizetype n = 0;
    while (n < text.size() && text[text.size() - 1 - n] == u' ')
        ++n;
    return n;
}

} // namespace

QString Form2::nameToUse(const QString& typed, const QString& original)
{
    const QString core = search::trimBlanks(typed);
    if (core.isEmpty())
        return core;
    const qsizetype lead = leadingBlanks(original), trail = trailingBlanks(original);
    const QString before = leadingBlanks(typed) == lead ? QString(lead, u' ') : QString();
    const QString after = trailingBlanks(typed) == trail ? QString(trail, u' ') : QString();
    return before + core + after;
}

Form2::Form2(QWidget* owner, platform::MessageBoxes& messages, const QString& name, Attempt attempt)
    : TextBoxDialog(owner, messages, QStringLiteral("重命名文件"), QStringLiteral("请输入新名字："), kLayout),
      original_(name), attempt_(std::move(attempt))
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

void Form2::okClicked()
{
    const QString typed = Text1->text();
    if (refuseBlank(search::trimBlanks(typed)))
        return;
    const QString name = nameToUse(typed, original_);
    if (isRefusedAtOk(name)) {
        refuseIllegal();
        Text1->setFocus();
        return;
    }
    // The name as shown, untouched: nothing to do. This also keeps a name that is not valid
    // UTF-8 from being rewritten as its shown text.
    const bool changed = typed != original_ && name != original_;
    if (changed) {
        newName_ = name;
        renamed_ = attempt_(name);
    }
    accept();
    if (changed && !renamed_)
        messages_.show(QStringLiteral("操作失败，无法重命名文件"), platform::MessageStyle::StopOk, QStringLiteral("提示"));
}

} // namespace actions
