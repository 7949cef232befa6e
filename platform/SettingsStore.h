#pragma once

#include <QString>

// The per-user settings: string values addressed by application, section and
// key. Key names match without regard to case; an absent key reads as "".
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    virtual QString GetSetting(const QString &app, const QString &section, const QString &key) = 0;
    // Creates or replaces the key. Throws FileFailure when the store cannot be written.
    virtual void SaveSetting(const QString &app, const QString &section, const QString &key,
                             const QString &value) = 0;
};
