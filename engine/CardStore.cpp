#include "CardStore.h"

#include <utility>

LostWrites::LostWrites(std::vector<Lost> lost)
    : StoreFailure(QStringLiteral("%1 updates were lost: the card database could not commit them (%2)")
                       .arg(lost.size())
                       .arg(lost.empty() ? QString() : lost.back().reason))
    , lost_(std::move(lost))
{
}

namespace {

StoreFailure CannotPreview()
{
    return StoreFailure(QStringLiteral("This card database cannot preview a run."));
}

} // namespace

qint64 CardStore::RecordKey() const
{
    throw CannotPreview();
}

std::vector<std::string> CardStore::TextsIfCommitted(const QString &)
{
    throw CannotPreview();
}

bool CardStore::SetJournal(WriteJournal *)
{
    return false;
}
