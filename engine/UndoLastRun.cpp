// Undo Last Run: takes back the writes of the run whose undo journal is the newest.
#include "Engine.h"

#include "CardStores.h"
#include "Failure.h"
#include "JournalUndo.h"
#include "UndoJournal.h"
#include "UndoTarget.h"

#include <QFile>

namespace {

// A run's start as the run log writes times.
QString RunTime(const QDateTime &started)
{
    return started.toString(QStringLiteral("MM-dd-yyyy h:mm:ss AP"));
}

const int kConflictsShown = 20;

} // namespace

Engine::UndoEnd Engine::UndoLastRun(const QString &cardDatabase, const std::function<bool(const QString &)> &confirm)
{
    const QString folder = s.folder.UndoFolder();
    const auto refuse = [this](const QString &why) {
        s.msg.Show(why, MsgIcon::Information);
        return UndoEnd::NotUndone;
    };
    QStringList files = UndoJournal::Files(folder);
    JournalSummary journal;
    try {
        for (;; files.removeLast()) {
            if (files.isEmpty())
                return refuse(QStringLiteral("There is no run to undo: %1 holds no undo journal.").arg(folder));
            journal = ReadJournal(folder + QLatin1Char('/') + files.last());
            if (!journal.undoes.isValid() || journal.committedGroups > 0 || journal.undone.isValid())
                break;
            // An undo that ended (killed, say) before its journal saw its
            // commit: when it never happened its journal goes, and the run it
            // was to take back is the last one again.
            if (SettleUnmarkedUndo(journal, cardDatabase)) {
                const QString taken = files.size() > 1 ? folder + QLatin1Char('/') + files[files.size() - 2] : QString();
                if (!taken.isEmpty() && ReadJournal(taken).started == journal.undoes)
                    MarkUndone(taken, journal.started);
                journal = ReadJournal(journal.path);
                break;
            }
            QFile::remove(journal.path);
        }
    } catch (const Failure &error) {
        return refuse(QStringLiteral("The undo journal of the last run cannot be read: %1").arg(error.message()));
    }
    const QString when = RunTime(journal.started);
    const QString what = journal.undoes.isValid() ? QStringLiteral("undo of the run of %1").arg(RunTime(journal.undoes))
                                                  : QStringLiteral("run of %1").arg(when);
    if (journal.undone.isValid())
        return refuse(QStringLiteral("The last %1 was undone already, at %2.").arg(what, RunTime(journal.undone)));
    if (!journal.failure.isEmpty())
        return refuse(QStringLiteral("The undo journal of the last %1 is incomplete (%2): it cannot be undone.").arg(what, journal.failure));
    if (journal.writes == 0)
        return refuse(QStringLiteral("The last %1 changed no field: there is nothing to undo.").arg(what));
    const QString where = ShownCardDatabase(journal.cardDatabase, !journal.cardTable.isEmpty());
    if (!SameCardDatabase(journal, cardDatabase))
        return refuse(QStringLiteral("The last %1 changed the card database %2, not the one set up now (%3).")
                          .arg(what, where, ShownCardDatabase(cardDatabase, IsServerDatabase(cardDatabase))));

    if (!confirm(QStringLiteral("The last %1 changed %2 fields (%3) of %4.")
                     .arg(what)
                     .arg(journal.writes)
                     .arg(journal.fields.join(QStringLiteral(", ")), where)))
        return UndoEnd::NotUndone;

    // An undo of an undo journals nothing: an undo is undoable once.
    const QDateTime now(s.clock.Date(), s.clock.Time());
    WriteJournal none;
    std::unique_ptr<UndoJournal> own;
    UndoTally tally;
    try {
        if (run.undoJournal && !journal.undoes.isValid())
            own = std::make_unique<UndoJournal>(folder, now, journal.started);
        tally = RestoreJournal(journal, cardDatabase, own ? static_cast<WriteJournal &>(*own) : none);
        MarkUndone(journal.path, now);
    } catch (const Failure &error) {
        if (own && tally.restored == 0)
            own->Discard();
        return refuse(QStringLiteral("The undo of the last %1 stopped: %2").arg(what, error.message()));
    }

    const QString entry = QStringLiteral("Undo of the run of %1: %2 restored, %3 left because they changed since")
                              .arg(when)
                              .arg(tally.restored)
                              .arg(qsizetype(tally.conflicts.size()));
    progress.logFailureShown = false;
    WriteLog({LogEntry(QLatin1Char(' ') + entry + QLatin1Char('.'))});
    QString report = entry + QLatin1Char('.');
    for (std::size_t i = 0; i < tally.conflicts.size() && i < kConflictsShown; ++i) {
        const UndoConflict &conflict = tally.conflicts[i];
        report += QStringLiteral("\rLeft: record %1, field %2 (%3)").arg(conflict.record, conflict.field, conflict.reason);
    }
    if (tally.conflicts.size() > kConflictsShown)
        report += QStringLiteral("\r... and %1 more").arg(qsizetype(tally.conflicts.size()) - kConflictsShown);
    if (own && !own->Failure().isEmpty())
        report += QStringLiteral("\rThe undo's own journal could not be kept (%1): it cannot be undone.").arg(own->Failure());
    s.msg.Show(report, MsgIcon::Information);
    return tally.conflicts.empty() ? UndoEnd::Restored : UndoEnd::Conflicts;
}
