#include "actions/form3.h"

#include "platform/fileops/file_copy.h"
#include "platform/files/file_name_text.h"
#include "platform/files/file_system.h"
#include "platform/message_boxes.h"
#include "search/match/text_rules.h"

#include <QLineEdit>

namespace actions {
namespace {

constexpr TextBoxLayout kLayout{4095, 1650, 240, 975, 480, 3615, 1080};

} // namespace

Form3::Form3(QWidget* owner, platform::MessageBoxes& messages, platform::FileSystem& fileSystem, Attempt attempt)
    : TextBoxDialog(owner, messages, QStringLiteral("复制文件"), QStringLiteral("目标位置："), kLayout),
      fileSystem_(fileSystem), attempt_(std::move(attempt))
{
    setObjectName(QStringLiteral("Form3"));
}

void Form3::okClicked()
{
    const QString typed = Text1->text();
    const QString trimmed = search::trimBlanks(typed);
    if (refuseBlank(trimmed))
        return;
    const QByteArray exact = platform::fileNameBytes(typed);
    const bool exactExists = !exact.contains('\0') && fileSystem_.attributes(exact).has_value();
    const QByteArray target = exactExists ? exact : platform::fileNameBytes(trimmed);
    // The existence test is a listing of its own, so a walk suspended meanwhile keeps its place.
    // Only a folder can take the copy (links the user typed lead where they lead): anything else
    // would put it beside the target under the two names joined.
    const bool exists = !target.contains('\0') && !fileSystem_.firstMatch(target).isEmpty();
    if (!exists || !platform::isCopyTargetFolder(target)) {
        messages_.show(exists ? QStringLiteral("指定位置无效") : QStringLiteral("指定位置不存在"),
                       platform::MessageStyle::ExclamationOk, QStringLiteral("错误"));
        Text1->selectAll();
        Text1->setFocus();
        return;
    }
    const CopyOutcome outcome = attempt_(target);
    target_ = target;
    accept();
    if (outcome == CopyOutcome::Failed)
        messages_.show(QStringLiteral("操作失败，无法复制文件"), platform::MessageStyle::StopOk, QStringLiteral("提示"));
    else if (outcome == CopyOutcome::CancelledPartly)
        messages_.show(QStringLiteral("已取消复制，已复制的文件保留在目标位置"), platform::MessageStyle::ExclamationOk,
                       QStringLiteral("提示"));
}

} // namespace actions
