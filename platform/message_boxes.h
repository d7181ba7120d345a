#pragma once

#include <QString>

namespace platform {

// Styles and answers of the modal message boxes, with the values the program has always used.
enum MessageStyle : int {
    StopOk = 16,          // an operation that failed, a refused key
    QuestionYesNo = 36,   // the delete confirmation
    ExclamationOk = 48,   // input that cannot be used
};
enum MessageAnswer : int { AnswerOk = 1, AnswerYes = 6, AnswerNo = 7 };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Blocks until the user answers; returns the button pressed.
    virtual int show(const QString& prompt, int style, const QString& title) = 0;
};

} // namespace platform
