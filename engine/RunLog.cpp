// The run log: failed updates and the end of every run, newest first, in
// "\log\Batch_Log.lst" under the program folder.
#include "Engine.h"

#include "Failure.h"

namespace {

const QString kLogFolder = QStringLiteral("\\log");
const QString kLogFile = QStringLiteral("\\log\\Batch_Log.lst");
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

void Engine::Log_event()
{
    const QString folder = s.folder.File(kLogFolder);
    const QString file = s.folder.File(kLogFile);

    // The file steps are fenced off: when the log cannot be reached the
    // event's effect on the run still happens, the old log is left as it was,
    // and the operator is told once per run.
    bool readable = false;
    TextEncoding encoding = TextEncoding::Utf8;
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
        v.txtLoglist.Text = logCache_.text;
        v.txtLoglist.SelStart = 0;
        encoding = logCache_.encoding;
        readable = true;
    } catch (const FileFailure &error) {
        failure = error.message();
    }

    bool runEnded = false;
    if (v.RecordError) {
        if (v.ErrorCount < Int16::kMax)  // the count stops at 32,767
            v.ErrorCount += 1;
        v.lberrcount.Caption = QStringLiteral("Errors ") + QString::number(int(v.ErrorCount));
        v.Notify();
        store.CancelUpdate();
        v.txtLoglist.Text.insert(v.txtLoglist.SelStart,
                                 LogEntry(QStringLiteral(" Cancel update - Error in Record ") + v.Text1.Text
                                          + QStringLiteral(" of field ") + v.Combo2.Text));
        --v.RecordNo;
        v.RecordError = false;
    } else if (v.RecordsLeft == 0) {
        const QString message = v.Option_Batch.Value ? QStringLiteral(" Card data batch load complete.")
                                                     : QStringLiteral(" Card data import complete.");
        v.txtLoglist.Text.insert(v.txtLoglist.SelStart, LogEntry(message));
        v.ProgressBar1.Value = 0;
        v.Notify();
        runEnded = true;
    }

    if (readable) {
        try {
            logCache_.version.clear();
            s.fs.WriteWhole(file, v.txtLoglist.Text, encoding);
            logCache_.text = v.txtLoglist.Text;
            logCache_.version = s.fs.Version(file);
        } catch (const FileFailure &error) {
            failure = error.message();
        }
    }
    if (!failure.isEmpty() && !v.LogFailureShown) {
        v.LogFailureShown = true;
        s.msg.Show(QStringLiteral("The run log cannot be kept up to date.\r%1").arg(failure), MsgIcon::Critical);
    }

    // A scheduler reads status 0 as "the completion entry is in the log".
    if (runEnded && AutoRunIsOn(v.AutoRun)) {
        store.Flush();
        s.exit.End(failure.isEmpty() ? 0 : 1);
    }
}
