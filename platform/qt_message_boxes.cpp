#include "platform/qt_message_boxes.h"

#include <QMessageBox>

namespace platform {

int QtMessageBoxes::show(const QString& prompt, int style, const QString& title)
{
    QMessageBox box(owner_);
    box.setWindowTitle(title);
    box.setText(prompt);
    if (style == QuestionYesNo) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setIcon(style == StopOk ? QMessageBox::Critical : QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (style != QuestionYesNo)
        return AnswerOk;
    return answer == QMessageBox::Yes ? AnswerYes : AnswerNo;
}

} // namespace platform
