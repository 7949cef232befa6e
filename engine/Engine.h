#pragma once

#include "CardStore.h"
#include "RunState.h"
#include "Services.h"

// The card update engine: the main window's procedures that change card
// records and log runs. Procedures take no arguments and return nothing;
// they work on the main-window values v, the card store and the platform
// services. A procedure that ends the program (an automatic run's completion)
// does not return.
class Engine
{
public:
    Engine(RunState &v, CardStore &store, Services &services)
        : v(v), store(store), s(services)
    {
    }

    // Execute: a batch run over every record whose search field matches Text1.
    void cmdexeNow_Click();
    // Import: a run over the lines of the import file txtImportFile.
    void Command3_Click();
    // Writes Text2 into field Combo2 of every record whose field Combo1
    // matches Text1, counting the run down; logs failures and the run's end.
    void Load_Data();
    // Applies every entry of the replacement list, one record update each.
    void Check_ReplaceList();
    // Shows the replacement list in place of the single replace pair, or back.
    void Chk_RepFromLst_Click();
    // Logs a failed update (RecordError set) or the end of a run (RecordsLeft 0).
    void Log_event();

private:
    // Makes a run's updates durable and resets the pointer however the run ends.
    struct RunEnd
    {
        explicit RunEnd(Engine &engine) : engine(engine) {}
        ~RunEnd();
        Engine &engine;
    };

    void StartRun();
    void BindText3();
    void CountMatches();
    void CountListLines();
    void TooLargeForOneRun();
    void LoadDataFailed(const LostWrites *lost);
    void LogLostWrites(const LostWrites &lost);
    void CountFailedUpdate(qsizetype failures);
    QString FailedUpdateEntry(const QString &searchValue, const QString &field);
    // Puts entries (newest first) in front of the run log and rewrites it;
    // false when the log could not be kept (the operator is told once per run).
    bool WriteLog(const QStringList &entries);
    QString ListPath() const;
    QString LogEntry(const QString &message);

    // The run log's text as this program last wrote it, and the file's
    // version right after that write.
    struct LogCache
    {
        QString path;
        QString version;
        QString text;
        TextEncoding encoding = TextEncoding::Utf8;
    };

    RunState &v;
    CardStore &store;
    Services &s;
    LogCache logCache_;
};
