#include "CardStore.h"

#include <utility>

LostWrites::LostWrites(std::vector<Lost> lost)
    : StoreFailure(QStringLiteral("%1 updates were lost: the card database could not commit them (%2)")
                       .arg(lost.size())
                       .arg(lost.empty() ? QString() : lost.back().reason))
    , lost_(std::move(lost))
{
}
