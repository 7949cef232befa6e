// The run log: failed updates and the end of every run, newest first, in
// "\log\Batch_Log.lst" under the program folder.
#include "Engine.h"

#include "Failure.h"

#include <algorithm>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

} // namespace

// Date as "mm-dd-yyyy ", then the time of day (hour without a leading zero,
// 12-hour clock, AM/PM), then the message; date and time are read one after
// the other, as the clock gives them.
QString Engine::LogEntry(const QString &message)
{
    const QString date = s.clock.Date().toString(QStringLiteral("MM-dd-yyyy "));
    const QString time = s.clock.Time().toString(QStringLiteral("h:mm:ss AP"));
    return date + time + message + kCrLf;
}

QString Engine::FailedUpdateEntry(const QString &searchValue, const QString &field)
{
    return LogEntry(QStringLiteral(" Cancel update - Error in Record ") + searchValue + QStringLiteral(" of field ") + field);
}

void Engine::CountFailedUpdate(qsizetype failures)
{
    // The count stops at 32,767.
    progress.errorCount = Int16::Checked(std::min<long long>(Int16::kMax, int(progress.errorCount) + failures));
    Changed();
    store.CancelUpdate();
}

void Engine::Log_event()
{
    QStringList entries;
    bool runEnded = false;
    if (progress.recordError) {
        CountFailedUpdate(1);
        entries << FailedUpdateEntry(run.searchValue, run.replaceField);
        --progress.recordsLoaded;
        progress.recordError = false;
    } else if (progress.recordsLeft == 0) {
        const QString kind = run.mode == RunMode::Batch ? QStringLiteral("batch load") : QStringLiteral("import");
        if (progress.lostUpdates > 0) {
            entries << LogEntry(QStringLiteral(" Card data %1 incomplete: %2 updates lost.").arg(kind).arg(progress.lostUpdates));
        } else {
            entries << LogEntry(QStringLiteral(" Card data %1 complete.").arg(kind));
            runEnded = true;
        }
        progress.progressValue = 0;
        Changed();
    }
    const bool logged = WriteLog(entries);
    if (runEnded)
        progress.loggedComplete = logged;

    // A scheduler reads status 0 as "the completion entry is in the log".
    if (runEnded && run.autoRun) {
        store.Flush();
        CloseJournal();  // the program ends here: a journal that could not be kept says so now
        ReportRunEnd();
        s.exit.End(logged ? 0 : 1);
    }
}

// Lost updates are failed updates, logged together in one rewrite of the log.
void Engine::LogLostWrites(const LostWrites &lost)
{
    const std::vector<LostWrites::Lost> &writes = lost.Writes();
    if (writes.empty())
        return;
    progress.lostUpdates += int(writes.size());
    progress.lostReason = writes.back().reason;
    CountFailedUpdate(qsizetype(writes.size()));
    QStringList entries;
    for (auto write = writes.rbegin(); write != writes.rend(); ++write)
        entries << FailedUpdateEntry(write->searchValue, write->field);
    WriteLog(entries);
}

bool Engine::WriteLog(const QStringList &entries)
{
    const QString folder = s.folder.LogFolder();
    const QString file = s.folder.LogFile();

    // The file steps are fenced off: when the log cannot be reached the
    // event's effect on the run still happens, the old log is left as it was,
    // and the operator is told once per run.
    QString failure;
    try {
        if (!s.fs.FolderExists(folder))
            s.fs.CreateFolder(folder);
        if (!s.fs.FileExists(file))
            s.fs.CreateTextFile(file);
        // The log only grows by the entries this program writes, so the text
        // of the last write serves again while the file is as it was left.
        if (logCache_.path != file || logCache_.version.isEmpty() || s.fs.Version(file) != logCache_.version) {
            TextContent content = s.fs.ReadWhole(file);
            logCache_ = {file, QString(), std::move(content.text), content.encoding};
        }
        // The log's working copy: the file as it stands, the entries in front.
        const QString text = entries.join(QString()) + logCache_.text;
        logCache_.version.clear();
        s.fs.WriteWhole(file, text, logCache_.encoding);
        logCache_.text = text;
        logCache_.version = s.fs.Version(file);
    } catch (const FileFailure &error) {
        failure = error.message();
    }
    if (!failure.isEmpty() && !progress.logFailureShown) {
        progress.logFailureShown = true;
        s.msg.Show(QStringLiteral("The run log cannot be kept up to date.\r%1").arg(failure), MsgIcon::Critical);
    }
    return failure.isEmpty();
}
