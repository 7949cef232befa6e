#include "CardStores.h"

#include "PgCardStore.h"
#include "Pq.h"
#include "SqliteCardStore.h"

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
