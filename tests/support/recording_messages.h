#pragma once
// Message boxes that record what they were asked to show and answer at once: a question gets the
// set answer (Yes unless changed), every other box OK.
#include "platform/message_boxes.h"

#include <QStringList>

#include <functional>

namespace testsupport {

class RecordingMessages : public platform::MessageBoxes {
public:
    platform::MessageAnswer show(const QString& prompt, platform::MessageStyle style, const QString& title) override
    {
        shown << QStringLiteral("%1|%2|%3").arg(prompt).arg(int(style)).arg(title);
        prompts << prompt;
        if (onShow)
            onShow();
        return style == platform::MessageStyle::QuestionYesNo ? answer : platform::MessageAnswer::Ok;
    }

    QStringList shown; // "prompt|style|title", the style by its number
    QStringList prompts;
    platform::MessageAnswer answer = platform::MessageAnswer::Yes;
    std::function<void()> onShow; // runs while the box would be open
};

} // namespace testsupport
