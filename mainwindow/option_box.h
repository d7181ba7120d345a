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

// The stored states are 0 unticked, 1 ticked, 2 greyed; Qt counts greyed as 1 and ticked as 2.
inline Qt::CheckState checkStateFor(int state)
{
    return state == 1 ? Qt::Checked : state == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

inline int storedStateOf(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    case Qt::Unchecked: break;
    }
    return 0;
}

} // namespace mainwindow
