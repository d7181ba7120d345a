#pragma once

#include <QString>

namespace platform {

// Styles and answers of the modal message boxes, with the numbers of the platform's message-box
// styles and answers as their values.
enum class MessageStyle : int {
    StopOk = 16,        // an operation that failed, a refused key
    QuestionYesNo = 36, // the delete confirmation
    ExclamationOk = 48, // input that cannot be used
};
enum class MessageAnswer : int { Ok = 1, Yes = 6, No = 7 };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Blocks until the user answers; returns the button pressed.
    virtual MessageAnswer show(const QString& prompt, MessageStyle style, const QString& title) = 0;
};

} // namespace platform
