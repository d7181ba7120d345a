#include "platform/session/settings_store.h"

#include <QSettings>

namespace platform {

IniSettingsStore::IniSettingsStore(const QString& configFolder)
{
    if (configFolder.isEmpty())
        settings_ = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                QStringLiteral("Sorvane"), QStringLiteral("Sorvane"));
    else
        settings_ = std::make_unique<QSettings>(configFolder + QStringLiteral("/Sorvane/Sorvane.ini"),
                                                QSettings::IniFormat);
}

IniSettingsStore::~IniSettingsStore() = default;

QString IniSettingsStore::read(const QString& section, const QString& key, const QString& defaultValue)
{
    return settings_->value(section + u'/' + key, defaultValue).toString();
}

void IniSettingsStore::write(const QString& section, const QString& key, const QString& value)
{
    settings_->setValue(section + u'/' + key, value);
    settings_->sync();
}

} // namespace platform
