#include "CardStore.h"

QString UpdateCriteria(const QString &searchField, const QString &searchValue)
{
    return searchField + QStringLiteral(" Like ") + QLatin1Char('\'') + searchValue + QLatin1Char('\'');
}
