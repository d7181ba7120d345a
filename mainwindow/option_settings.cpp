#include "mainwindow/option_settings.h"

#include "platform/session/settings_store.h"

namespace mainwindow {
namespace {

const QString kSection = QStringLiteral("Form1");

QString keyFor(size_t box)
{
    return QStringLiteral("check%1").arg(box + 1);
}

} // namespace

int optionStateFromText(const QString& text)
{
    bool isNumber = false;
    const int state = text.trimmed().toInt(&isNumber);
    return isNumber && state >= 0 && state <= 2 ? state : 0;
}

OptionStates restoreOptionStates(platform::SettingsStore& store)
{
    OptionStates states{};
    for (size_t box = 0; box < states.size(); ++box)
        states[box] = optionStateFromText(store.read(kSection, keyFor(box), QStringLiteral("0")));
    return states;
}

void saveOptionStates(platform::SettingsStore& store, const OptionStates& states)
{
    for (size_t box = 0; box < states.size(); ++box)
        store.write(kSection, keyFor(box), QString::number(states[box]));
}

} // namespace mainwindow
