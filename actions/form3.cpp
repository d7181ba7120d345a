#include "actions/form3.h"

#include "platform/file_attributes.h"
#include "platform/file_name_text.h"
#include "platform/file_system.h"
#include "platform/message_boxes.h"
#include "search/text_rules.h"

#include <QLineEdit>

namespace actions {
namespace {

constexpr TextBoxLayout kLayout{4095, 1650, 240, 975, 480, 3615, 1080};

} // namespace

Form3::Form3(QWidget* owner, platform::MessageBoxes& messages, platform::FileSystem& fileSystem)
    : TextBoxDialog(owner, messages, QStringLiteral("复制文件"), QStringLiteral("目标位置："), kLayout),
      fileSystem_(fileSystem)
{
    setObjectName(QStringLiteral("Form3"));
}

void Form3::Command1_Click()
{
    const QString text = search::trimBlanks(Text1->text());
    if (refuseBlank(text))
        return;
    const QByteArray target = platform::fileNameBytes(text);
    // The existence test is a listing of its own, so a walk suspended meanwhile keeps its place.
    // Only a folder can take the copy: anything else would put it beside the target under the
    // two names joined.
    bool isFolder = false;
    if (!target.contains('\0') && !fileSystem_.firstMatch(target).isEmpty()) {
        const std::optional<uint32_t> attributes = fileSystem_.attributes(target);
        isFolder = attributes && (*attributes & platform::Directory);
    }
    if (!isFolder) {
        messages_.show(QStringLiteral("指定位置不存在"), platform::MessageStyle::ExclamationOk, QStringLiteral("错误"));
        Text1->selectAll();
        Text1->setFocus();
        return;
    }
    target_ = target;
    accept();
}

} // namespace actions
