#include "platform/desktop/properties_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace platform {
namespace {

QString timeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

PropertiesDialog::PropertiesDialog(const EntryProperties& p, QWidget* owner) : QDialog(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(p.name + QStringLiteral(" 属性"));
    setWindowIcon(owner ? owner->windowIcon() : QIcon());

    auto* form = new QFormLayout;
    const auto add = [&](const char* objectName, const QString& caption, const QString& value) {
        auto* label = new QLabel(value, this);
        label->setTextFormat(Qt::PlainText); // a name such as "<b>x" is a name, not markup
        label->setObjectName(QString::fromLatin1(objectName));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(caption, label);
    };
    add("name", QStringLiteral("名称："), p.name);
    add("location", QStringLiteral("位置："), p.location);
    add("type", QStringLiteral("类型："), p.type);
    if (p.isFolder)
        add("entries", QStringLiteral("包含："),
            p.entryCount ? QStringLiteral("%1 项").arg(*p.entryCount) : QStringLiteral("无法读取"));
    else
        add("size", QStringLiteral("大小："), QStringLiteral("%1 字节").arg(p.size));
    add("modified", QStringLiteral("修改时间："), timeText(p.modified));
    add("accessed", QStringLiteral("访问时间："), timeText(p.accessed));
    add("owner", QStringLiteral("所有者："), p.owner);
    add("permissions", QStringLiteral("权限："), p.permissions);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

PropertiesDialog* showPropertiesDialog(const QByteArray& path, QWidget* owner)
{
    const std::optional<EntryProperties> properties = readEntryProperties(path);
    if (!properties)
        return nullptr;
    auto* dialog = new PropertiesDialog(*properties, owner);
    dialog->show();
    return dialog;
}

} // namespace platform
