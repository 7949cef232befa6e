#pragma once

#include "CardStore.h"
#include "SettingsStore.h"

#include <QString>

#include <memory>

// The card store that a Card_Database setting names: a PostgreSQL server for
// a postgresql:// or postgres:// URI or a libpq keyword string beginning with
// host=, dbname= or service=; an SQLite file for anything else.
std::unique_ptr<CardStore> CardStoreFor(const QString &cardDatabase);

// The Card_Database setting of [Bulkrun]; the default file when it is empty.
QString CardDatabaseSetting(SettingsStore &settings);

// True when the setting names a PostgreSQL server, not an SQLite file.
bool IsServerDatabase(const QString &cardDatabase);

// True when the setting is a connection string that holds a password.
bool HoldsPassword(const QString &cardDatabase);
