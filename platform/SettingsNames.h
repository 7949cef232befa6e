#pragma once

#include <QString>

// Where the program's settings live in the settings store: the application
// and its two sections. The first-run flag lives in the sibling editor's
// section.
namespace SettingsNames {

inline const QString kApp = QStringLiteral("Tavrin");
inline const QString kSection = QStringLiteral("Bulkrun");
inline const QString kRegisterSection = QStringLiteral("KVRFennic");

} // namespace SettingsNames
