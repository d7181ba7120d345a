#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class MessageBoxes;
}

namespace actions {

// Where the controls of a one-field dialog sit, in twips.
struct TextBoxLayout {
    int clientWidth, clientHeight;
    int labelTop, labelWidth;
    int textTop, textWidth;
    int buttonTop;
};

// The frame that the rename and copy dialogs share: a caption over a text box, OK and Cancel.
// A fixed frame centred on its owner, with the owner's icon; Escape closes nothing; the text box
// selects its whole text whenever it gets the focus. Created afresh for each use and run modally.
class TextBoxDialog : public QDialog {
    Q_OBJECT
public:
    QLabel* Label1;
    QLineEdit* Text1;
    QPushButton* Command1; // OK, the default button
    QPushButton* Command2; // Cancel

protected:
    TextBoxDialog(QWidget* owner, platform::MessageBoxes& messages, const QString& caption,
                  const QString& label, const TextBoxLayout& layout);

    // OK: closes the dialog with accept(), or leaves it open after telling the user why not.
    virtual void okClicked() = 0;

    // A blank text: the shared message, then an empty, focused box.
    bool refuseBlank(const QString& trimmed);

    void keyPressEvent(QKeyEvent* event) override;

    platform::MessageBoxes& messages_;
};

} // namespace actions
