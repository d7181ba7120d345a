#pragma once

#include "platform/message_boxes.h"

class QWidget;

namespace platform {

// Modal message boxes of the window toolkit, owned by the given window.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
    MessageAnswer show(const QString& prompt, MessageStyle style, const QString& title) override;

private:
    QWidget* owner_;
};

} // namespace platform
