#pragma once
// A settings store in memory that records which keys were read and written.
#include "platform/session/settings_store.h"

#include <QStringList>

#include <map>

namespace testsupport {

class MemoryStore : public platform::SettingsStore {
public:
    QString read(const QString& section, const QString& key, const QString& defaultValue) override
    {
        reads << key;
        auto found = values.find(section + '/' + key);
        return found == values.end() ? defaultValue : found->second;
    }
    void write(const QString& section, const QString& key, const QString& value) override
    {
        writes << key;
        values[section + '/' + key] = value;
    }

    std::map<QString, QString> values; // "section/key"
    QStringList reads, writes;
};

} // namespace testsupport
