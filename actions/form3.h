#pragma once

#include "actions/text_box_dialog.h"

#include <QByteArray>

#include <functional>

namespace platform {
class FileSystem;
}

namespace actions {

// What a copy did, for the dialog to tell.
enum class CopyOutcome {
    Copied,
    Failed,
    Cancelled,       // the destination is as it was
    CancelledPartly, // a tree copy kept what it had copied whole
};

// The copy dialog: asks for the folder that takes the copy. A target that does not exist, or
// exists but is not a folder, is refused (each with its own message) and stays selected for
// retyping. The text is used as
// typed where that names something, since a Linux name may begin or end with a blank; only
// otherwise are the blanks at its ends dropped. OK copies with the dialog still open, then closes
// it and tells of a failure once it is closed.
class Form3 : public TextBoxDialog {
    Q_OBJECT
public:
    // The copy itself, into the target folder given as bytes.
    using Attempt = std::function<CopyOutcome(const QByteArray& target)>;

    Form3(QWidget* owner, platform::MessageBoxes& messages, platform::FileSystem& fileSystem, Attempt attempt);

    // The target folder OK copied into, as bytes; empty unless it did.
    const QByteArray& target() const { return target_; }

protected:
    void okClicked() override;

private:
    platform::FileSystem& fileSystem_;
    Attempt attempt_;
    QByteArray target_;
};

} // namespace actions
