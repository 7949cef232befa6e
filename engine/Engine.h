#pragma once

#include "CardStore.h"
#include "RunProgress.h"
#include "RunRequest.h"
#include "Services.h"

#include <QStringList>

#include <functional>
#include <memory>

class UndoJournal;

// The card update engine: the commands that change card records and log
// runs. They work on the run request and the progress they are given, the
// card store and the platform services; a command that ends the program (an
// automatic run's completion) does not return.
class Engine
{
public:
    Engine(RunRequest &run, RunProgress &progress, CardStore &store, Services &services,
           ProgressReport *report = nullptr);
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Execute: a batch run over every record whose search field matches the
    // search value.
    void cmdexeNow_Click();
    // Import: a run over the lines of the import file.
    void Command3_Click();
    // The record update: writes the replace value into the replace field of
    // every record whose search field matches the search value, counting the
    // run down; logs failures and the run's end.
    void Load_Data();
    // Applies every entry of the replacement list, one record update each.
    void Check_ReplaceList();
    // Logs the failed update at hand (when one is being reported) or the
    // end of the run (when no update is left).
    void Log_event();

    // Undo Last Run: tells confirm what the newest undo journal's run changed
    // and, when it answers true, gives each field it wrote in cardDatabase
    // its old value back where the record still holds the value written,
    // logs the undo and tells the operator. An undo journals its own writes
    // (when the run request asks for journals), unless it takes back an undo.
    enum class UndoEnd { Restored, Conflicts, NotUndone };
    UndoEnd UndoLastRun(const QString &cardDatabase, const std::function<bool(const QString &)> &confirm);

private:
    // Makes a run's updates durable, reports any that were lost and clears
    // the busy state, however the run ends.
    struct RunEnd
    {
        explicit RunEnd(Engine &engine) : engine(engine) { engine.OpenJournal(); }
        ~RunEnd();
        Engine &engine;
    };

    void StartRun();
    // The run's undo journal, when the request asks for one and the store keeps one.
    void OpenJournal();
    void CloseJournal();
    // The body of Execute once its run has begun.
    void BatchRun();
    // Tells the operator that the connection to the server broke and the run stopped.
    void RunStopped(const ConnectionLost &lost);
    void Changed();
    // Reports the record update at hand as ended, once.
    void EndUpdate();
    // Reports the run's end, once: its time taken, then the report's RunEnded.
    void ReportRunEnd();
    // Counts the import line under way, if any, into the run's tally.
    void EndLine();
    void CountMatches();
    void CountListLines();
    void TooLargeForOneRun();
    void LoadDataFailed(const LostWrites *lost);
    void LogLostWrites(const LostWrites &lost);
    void CountFailedUpdate(qsizetype failures);
    QString FailedUpdateEntry(const QString &searchValue, const QString &field);
    QString LogEntry(const QString &message);
    // Puts entries (newest first) in front of the run log and rewrites it;
    // false when the log could not be kept (the operator is told once per run).
    bool WriteLog(const QStringList &entries);

    // The run log's text as this program last wrote it, and the file's
    // version right after that write.
    struct LogCache
    {
        QString path;
        QString version;
        QString text;
        TextEncoding encoding = TextEncoding::Utf8;
    };

    RunRequest &run;
    RunProgress &progress;
    CardStore &store;
    Services &s;
    ProgressReport *report;
    // The items of the import line being applied, which list entries take
    // their file values from.
    QStringList lineItems_;
    LogCache logCache_;
    std::unique_ptr<UndoJournal> journal_;
    // The record update under way, until it has been reported.
    UpdateOutcome *update_ = nullptr;
    // The import line under way: whether any of its updates has ended, and
    // whether one of them found a record or failed.
    struct Line
    {
        bool open = false;
        bool updated = false;
        bool matched = false;
    } line_;
};
