#pragma once

#include "Failure.h"
#include "SettingsStore.h"

#include <QString>

#include <map>
#include <tuple>
#include <vector>

// Settings held in memory. Application, section and key names match without
// regard to case, as in the store on disk. Saves are recorded in the order
// made, and can be told to fail.
class MemorySettingsStore final : public SettingsStore
{
public:
    QString GetSetting(const QString &app, const QString &section, const QString &key) override
    {
        const auto found = values_.find(Address(app, section, key));
        return found == values_.end() ? QString() : found->second;
    }
    // After FailSaves, throws FileFailure and stores nothing.
    void SaveSetting(const QString &app, const QString &section, const QString &key, const QString &value) override
    {
        if (failSaves_)
            throw FileFailure(QStringLiteral("Cannot write <memory settings>: simulated failure"));
        Set(app, section, key, value);
        saved.push_back(key);
    }
    // Stores a value without recording it as a save, for setting up a test.
    void Set(const QString &app, const QString &section, const QString &key, const QString &value)
    {
        values_[Address(app, section, key)] = value;
    }
    void FailSaves(bool fail = true) { failSaves_ = fail; }

    std::vector<QString> saved; // the keys saved

private:
    using Key = std::tuple<QString, QString, QString>;
    static Key Address(const QString &app, const QString &section, const QString &key)
    {
        return {app.toCaseFolded(), section.toCaseFolded(), key.toCaseFolded()};
    }
    std::map<Key, QString> values_;
    bool failSaves_ = false;
};
