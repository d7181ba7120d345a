#include "platform/desktop/qt_message_boxes.h"

#include "platform/session/termination_signals.h"

#include <QMessageBox>

namespace platform {

MessageAnswer QtMessageBoxes::show(const QString& prompt, MessageStyle style, const QString& title)
{
    // The program is ending: it asks and tells nothing more, and a question is answered No.
    if (TerminationSignals::received())
        return style == MessageStyle::QuestionYesNo ? MessageAnswer::No : MessageAnswer::Ok;
    QMessageBox box(owner_);
    box.setWindowTitle(title);
    box.setText(prompt);
    if (style == MessageStyle::QuestionYesNo) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setIcon(style == MessageStyle::StopOk ? QMessageBox::Critical : QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (style != MessageStyle::QuestionYesNo)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

} // namespace platform
