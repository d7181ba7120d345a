#pragma once

#include <QCheckBox>

namespace mainwindow {

// A check box whose greyed state comes only from a stored value: a click ticks or unticks it.
class OptionBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override
    {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        setTristate(false);
    }
};

} // namespace mainwindow
