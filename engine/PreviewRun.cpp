#include "PreviewRun.h"

#include "Engine.h"
#include "Failure.h"
#include "PreviewStore.h"
#include "UnwrittenFiles.h"

namespace {

// Where an automatic run would end the program.
struct PreviewEnded
{
};

class EndsPreview final : public ProgramExit
{
public:
    [[noreturn]] void End(int) override { throw PreviewEnded{}; }
};

class CollectedMessages final : public MessageBox
{
public:
    void Show(const QString &text, MsgIcon) override { messages << MessageLines(text); }
    void Note(const QString &text) override { messages << MessageLines(text); }
    QStringList messages;
};

// Turns the engine's reports of lines and updates into the report's rows.
class Rows final : public ProgressReport
{
public:
    Rows(const RunRequest &run, PreviewStore &store, PreviewReport &report) : run(run), store(store), report(report) {}

    void Changed(const RunProgress &) override {}

    void LineRead(const QString &searchValue) override
    {
        ++report.lines;
        if (searchValue.isEmpty())
            ++report.skipped;
        firstOfLine_ = true;
    }

    void UpdateEnded(const UpdateOutcome &update) override
    {
        const bool import = run.mode == RunMode::Import;
        PreviewRow row{import ? report.lines : qint64(report.rows.size()) + 1, update.searchValue, update.field,
                       update.value, update.found, update.written, update.failure};
        if (!row.refusal.isEmpty()) {
            ++report.refusals;
            row.matches = Matches(update);
        }
        if (firstOfLine_) {
            firstOfLine_ = false;
            report.noMatch += import && row.matches == 0;
            report.several += import && row.matches > 1;
            if (!import)
                report.matched = row.matches;
        }
        report.changes += row.changes;
        report.rows.push_back(std::move(row));
    }

private:
    // A failed update's walk ends at its first match: how many records its
    // search matches, from a walk of its own. The run's next update binds
    // and refreshes the store again.
    qint64 Matches(const UpdateOutcome &update)
    {
        try {
            const Search search(run.searchField, update.searchValue);
            store.SetDataField(QString());
            store.Refresh();
            store.MoveFirst();
            qint64 matches = 0;
            while (!store.IsEOF()) {
                store.Find(search);
                if (store.IsEOF())
                    break;
                ++matches;
                store.MoveNext();
            }
            return matches;
        } catch (const Failure &) {
            return update.found;
        }
    }

    const RunRequest &run;
    PreviewStore &store;
    PreviewReport &report;
    bool firstOfLine_ = true;
};

} // namespace

PreviewReport PreviewRun(RunRequest run, CardStore &store, Services &services)
{
    PreviewStore preview(store);
    // A batch run without the list walks to write once.
    preview.KeepCommits(run.mode == RunMode::Import || run.useList);
    UnwrittenFiles files(services.fs);
    CollectedMessages messages;
    EndsPreview exit;
    Services s{messages, services.clock, files, exit, services.folder};

    PreviewReport report;
    report.mode = run.mode;
    RunProgress progress;
    Rows rows(run, preview, report);
    Engine engine(run, progress, preview, s, &rows);
    try {
        if (run.mode == RunMode::Batch)
            engine.cmdexeNow_Click();
        else
            engine.Command3_Click();
    } catch (const PreviewEnded &) {
        // The rest of the run would not happen.
    }
    preview.Flush();
    report.overLimit = progress.overLimit;
    report.messages = messages.messages;
    return report;
}
