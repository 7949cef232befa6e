#include "Search.h"

#include "Failure.h"

Search::Search(const QString &field, const QString &value)
    : field_(field)
    , pattern_(Checked(field, value))
{
}

const QString &Search::Checked(const QString &field, const QString &value)
{
    if (value.contains(QLatin1Char('\'')))
        throw StoreFailure(QStringLiteral("Cannot search field %1 for %2: the search value has a single quote in it").arg(field, value));
    return value;
}
