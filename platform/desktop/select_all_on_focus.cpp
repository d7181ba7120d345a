#include "platform/desktop/select_all_on_focus.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QTimer>

namespace platform {
namespace {

class SelectAllOnFocus : public QObject {
public:
    explicit SelectAllOnFocus(QLineEdit* field) : QObject(field), field_(field) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == field_ && event->type() == QEvent::FocusIn
            && static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason)
            QTimer::singleShot(0, field_, [field = field_] { field->selectAll(); });
        return false;
    }

private:
    QLineEdit* field_;
};

} // namespace

void selectAllOnFocus(QLineEdit* field)
{
    field->installEventFilter(new SelectAllOnFocus(field));
}

} // namespace platform
