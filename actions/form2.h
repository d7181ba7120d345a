#pragma once

#include "actions/text_box_dialog.h"

namespace actions {

// The rename dialog: shows the row's name ready to be overwritten and asks for the new one.
// Typing any of "/\|:*?<>" is refused key by key; a name holding "/" that arrived otherwise (a
// paste), and the names "." and "..", are refused at OK, since they would move the entry.
class Form2 : public TextBoxDialog {
    Q_OBJECT
public:
    Form2(QWidget* owner, platform::MessageBoxes& messages, const QString& name);

    // Without its blanks at both ends; set when the dialog is accepted.
    const QString& newName() const { return newName_; }

protected:
    void Command1_Click() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refuseIllegal();

    QString newName_;
};

} // namespace actions
