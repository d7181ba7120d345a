#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace platform {

// The per-user store of what the window remembers, addressed by section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or the default when the key is absent.
    virtual QString read(const QString& section, const QString& key, const QString& defaultValue) = 0;
    virtual void write(const QString& section, const QString& key, const QString& value) = 0;
};

// INI file "Sorvane/Sorvane.ini" in the user's configuration folder, or in the folder given.
class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(const QString& configFolder = {});
    ~IniSettingsStore() override;
    QString read(const QString& section, const QString& key, const QString& defaultValue) override;
    void write(const QString& section, const QString& key, const QString& value) override;

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace platform
