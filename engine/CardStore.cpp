#include "CardStore.h"

#include <utility>

LostWrites::LostWrites(std::vector<Lost> lost)
    : StoreFailure(QStringLiteral("%1 updates were lost: the card database could not commit them (%2)")
                       .arg(lost.size())
                       .arg(lost.empty() ? QString() : lost.back().reason))
    , lost_(std::move(lost))
{
}

QString UpdateCriteria(const QString &searchField, const QString &searchValue)
{
    return searchField + QStringLiteral(" Like ") + QLatin1Char('\'') + searchValue + QLatin1Char('\'');
}
