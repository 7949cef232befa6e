#include "CardStores.h"

#include "PgCardStore.h"
#include "Pq.h"
#include "SettingsNames.h"
#include "SqliteCardStore.h"

#include <QDir>

QString CardDatabaseSetting(SettingsStore &settings)
{
    const QString database = settings.GetSetting(SettingsNames::kApp, SettingsNames::kSection, QStringLiteral("Card_Database"));
    return database.isEmpty() ? QDir::homePath() + QStringLiteral("/tavrin/database/card.db") : database;
}

bool IsServerDatabase(const QString &cardDatabase)
{
    return pq::IsConnectionString(cardDatabase);
}

std::unique_ptr<CardStore> CardStoreFor(const QString &cardDatabase)
{
    if (pq::IsConnectionString(cardDatabase))
        return std::make_unique<PgCardStore>(cardDatabase);
    return std::make_unique<SqliteCardStore>(cardDatabase);
}

bool HoldsPassword(const QString &cardDatabase)
{
    return pq::IsConnectionString(cardDatabase) && pq::HoldsPassword(cardDatabase);
}
