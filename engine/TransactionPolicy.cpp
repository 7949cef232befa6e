#include "TransactionPolicy.h"

#include <QScopeGuard>

#include <utility>

namespace {

// Errors after which the database will take no further write now: there is
// no point in trying the rest of a group one write at a time.
bool RefusesEverything(const sqlite::Error &error)
{
    switch (error.Code() & 0xff) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return true;
    default:
        return false;
    }
}

// The page cache of a connection that writes, in KiB (SQLite's default is
// 2,000). A group's changed pages stay in the cache until its commit writes
// each of them once; a smaller cache spills them to the file early, and a
// page changed again after its spill is journalled, read back and written
// again, with a sync of the journal before each spill. A group of 30,000
// updates at random places in a large table changes up to about as many
// pages: 128 MiB holds them at the usual page size of 4 KiB, and keeps the
// program within 200 MB at any table size. The cache grows only as pages are
// used, and only from the first write on: until then the default is kept,
// so that a pass over a table larger than the cache reuses its 2 MB instead
// of taking 128 MiB of new memory page by page, which costs a pass about
// half as much again.
constexpr int kGroupCacheKiB = 128 * 1024;

} // namespace

TransactionPolicy::TransactionPolicy(sqlite::Database &db)
    : db_(db)
    , beforeImage_(db)
{
}

// An open group that nobody committed is rolled back with its transaction;
// the store commits before it lets a group go.
TransactionPolicy::~TransactionPolicy() = default;

void TransactionPolicy::Begin()
{
    if (transaction_)
        return;
    reading_.reset();
    if (!cacheSized_) {
        db_.Execute("PRAGMA cache_size = -" + QByteArray::number(kGroupCacheKiB));
        cacheSized_ = true;
    }
    transaction_.emplace(db_);
    ++transactionsBegun_;
    begun_ = std::chrono::steady_clock::now();
    spillsAtBegin_ = db_.CacheSpills();
}

// The journal is handed the value a write replaced by the write itself
// where the schema allows, which saves a SELECT per write; else it reads it
// before the write.
void TransactionPolicy::Execute(const RecordWrite &write)
{
    const bool imaged = beforeImage_.Serves(write.field);
    if (imaged)
        beforeImage_.Expect(write.rowid, write.field);
    else
        journal_->Writing(db_, rowidName_, write.rowid, write.field);
    const auto disarm = qScopeGuard([&] {
        if (imaged)
            beforeImage_.Take();
    });
    // OR ABORT overrides any ON CONFLICT clause of the table: a conflict can
    // neither replace other records nor end the transaction.
    if (!update_ || updateField_ != write.field) {
        const QString sql = QStringLiteral("UPDATE OR ABORT CARD_DATA SET %1 = ?1 WHERE %2 = ?2")
                                .arg(sqlite::QuoteIdentifier(write.field), rowidName_);
        update_ = &db_.Cached(sql.toUtf8());
        updateField_ = write.field;
    }
    sqlite::Statement &update = *update_;
    update.Bind(1, write.value);
    update.Bind(2, write.rowid).Execute();
    if (!imaged)
        return;
    // A write that reached no record is told as before, as one that found nothing.
    if (db_.Changes() > 0)
        journal_->Wrote(db_, rowidName_, write.rowid, write.field, beforeImage_.Take());
    else
        journal_->Writing(db_, rowidName_, write.rowid, write.field);
}

void TransactionPolicy::Kept(const RecordWrite &write)
{
    journal_->Kept(write.value);
}

void TransactionPolicy::Add(RecordWrite write)
{
    Kept(write);
    writes_.push_back(std::move(write));
}

// A group whose changed pages have begun to spill from the cache ends early:
// the next one starts with a cache whose pages are all clean, and can be
// recycled.
bool TransactionPolicy::Due() const
{
    return transaction_ && (std::chrono::steady_clock::now() - begun_ >= interval_ || db_.CacheSpills() != spillsAtBegin_);
}

void TransactionPolicy::KeepReading()
{
    if (transaction_ || reading_)
        return;
    try {
        reading_.emplace(db_);
        ++transactionsBegun_;
        readingBegun_ = std::chrono::steady_clock::now();
    } catch (const sqlite::Error &) {
        // The walk reads statement by statement instead: slower, not wrong.
    }
}

void TransactionPolicy::EndReading(bool due)
{
    if (!due || std::chrono::steady_clock::now() - readingBegun_ >= interval_)
        reading_.reset();
}

void TransactionPolicy::Commit()
{
    if (!transaction_)
        return;
    try {
        journal_->Committing();
        transaction_->Commit();
        journal_->Committed();
        transaction_.reset();
        writes_.clear();
    } catch (const sqlite::Error &) {
        journal_->Dropped();
        transaction_.reset();
        Reapply(std::exchange(writes_, {}));
    }
}

void TransactionPolicy::Recover(const RecordWrite &current)
{
    journal_->Dropped();
    transaction_.reset();
    std::vector<RecordWrite> writes = std::exchange(writes_, {});
    writes.push_back(current);
    Reapply(std::move(writes));
}

void TransactionPolicy::Reapply(std::vector<RecordWrite> writes)
{
    refusedAll_.clear();
    std::vector<LostWrites::Lost> lost;
    ReapplyPart(writes, lost);
    if (!lost.empty())
        throw LostWrites(std::move(lost));
}

// Halves a part whose commit fails until each write stands alone: what the
// database can take is committed, in the writes' order, and the rest is lost.
void TransactionPolicy::ReapplyPart(std::span<const RecordWrite> writes, std::vector<LostWrites::Lost> &lost)
{
    if (writes.empty())
        return;
    if (refusedAll_.isEmpty()) {
        try {
            sqlite::Transaction transaction(db_);
            try {
                for (const RecordWrite &write : writes) {
                    Execute(write);
                    Kept(write);
                }
                journal_->Committing();
                transaction.Commit();
                journal_->Committed();
                return;
            } catch (const sqlite::Error &e) {
                journal_->Dropped();
                if (writes.size() == 1) {
                    lost.push_back({writes.front().searchValue, writes.front().field, e.Reason()});
                    if (RefusesEverything(e))
                        refusedAll_ = e.Reason();
                    return;
                }
            }
        } catch (const sqlite::Error &e) {
            refusedAll_ = e.Reason(); // the lock itself could not be had
        }
    }
    if (!refusedAll_.isEmpty()) {
        for (const RecordWrite &write : writes)
            lost.push_back({write.searchValue, write.field, refusedAll_});
        return;
    }
    const std::size_t half = writes.size() / 2;
    ReapplyPart(writes.first(half), lost);
    ReapplyPart(writes.subspan(half), lost);
}
