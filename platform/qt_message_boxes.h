#pragma once

#include "platform/message_boxes.h"

class QWidget;

namespace platform {

// Modal message boxes of the window toolkit, owned by the given window.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
    int show(const QString& prompt, int style, const QString& title) override;

private:
    QWidget* owner_;
};

} // namespace platform
