#pragma once

#include "actions/text_box_dialog.h"

#include <QByteArray>

namespace platform {
class FileSystem;
}

namespace actions {

// The copy dialog: asks for the folder that takes the copy. A target that does not exist, or
// exists but is not a folder, is refused and stays selected for retyping.
class Form3 : public TextBoxDialog {
    Q_OBJECT
public:
    Form3(QWidget* owner, platform::MessageBoxes& messages, platform::FileSystem& fileSystem);

    // The target folder as bytes, without its blanks at both ends; set when the dialog is accepted.
    const QByteArray& target() const { return target_; }

protected:
    void Command1_Click() override;

private:
    platform::FileSystem& fileSystem_;
    QByteArray target_;
};

} // namespace actions
