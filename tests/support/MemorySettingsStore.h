#pragma once

#include "Failure.h"
#include "SettingsStore.h"

#include <QString>

#include <map>
#include <tuple>
#include <vector>

// Settings held in memory. Application, section and key names match without
// regard to case, as in the store on disk. Every save is also recorded in the
// order made, and saves can be told to fail.
class MemorySettingsStore final : public SettingsStore
{
public:
    struct Saved
    {
        QString app;
        QString section;
        QString key;
        QString value;
    };

    QString GetSetting(const QString &app, const QString &section, const QString &key) override
    {
        const auto found = values_.find(Address(app, section, key));
        return found == values_.end() ? QString() : found->second;
    }

    // Throws FileFailure("Cannot write <memory settings>: simulated failure")
    // and stores nothing once the saves allowed by FailSaves are used up.
    void SaveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override
    {
        if (savesBeforeFailure_ == 0)
            throw FileFailure(QStringLiteral("Cannot write <memory settings>: simulated failure"));
        if (savesBeforeFailure_ > 0)
            --savesBeforeFailure_;
        values_[Address(app, section, key)] = value;
        saved.push_back({app, section, key, value});
    }

    // Stores a value without recording it as a save, for setting up a test.
    void Set(const QString &app, const QString &section, const QString &key, const QString &value)
    {
        values_[Address(app, section, key)] = value;
    }

    // True when the key holds a value, an empty one included.
    bool Has(const QString &app, const QString &section, const QString &key) const
    {
        return values_.count(Address(app, section, key)) != 0;
    }

    // From now on, saves after the next `after` ones fail; -1 lets every save succeed.
    void FailSaves(int after = 0) { savesBeforeFailure_ = after; }

    std::vector<Saved> saved;

private:
    using Key = std::tuple<QString, QString, QString>;

    static Key Address(const QString &app, const QString &section, const QString &key)
    {
        return {app.toCaseFolded(), section.toCaseFolded(), key.toCaseFolded()};
    }

    std::map<Key, QString> values_;
    int savesBeforeFailure_ = -1;
};
