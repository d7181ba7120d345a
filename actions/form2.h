#pragma once

#include "actions/text_box_dialog.h"

#include <functional>

namespace actions {

// The rename dialog: shows the row's name ready to be overwritten and asks for the new one.
// Typing any of "/\|:*?<>" is refused key by key; a name that arrived otherwise (a paste) holding
// "/" or a control character, and the names "." and "..", are refused at OK, since they would
// move the entry or make a name nobody can type. OK renames with the dialog still open, then
// closes it, and tells of a failure once it is closed.
class Form2 : public TextBoxDialog {
    Q_OBJECT
public:
    // The rename itself: true when the entry got the new name.
    using Attempt = std::function<bool(const QString& newName)>;

    Form2(QWidget* owner, platform::MessageBoxes& messages, const QString& name, Attempt attempt);

    // Whether OK renamed the entry, and to what.
    bool renamed() const { return renamed_; }
    const QString& newName() const { return newName_; }

    // The name OK uses: without the blanks at its ends that the user typed, but with the name's
    // own leading or trailing blanks where the user left them as they were.
    static QString nameToUse(const QString& typed, const QString& original);

protected:
    void okClicked() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refuseIllegal();

    QString original_;
    Attempt attempt_;
    QString newName_;
    bool renamed_ = false;
};

} // namespace actions
