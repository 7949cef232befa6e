#pragma once

#include "CardDb.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "Engine.h"
#include "FaultyFileSystem.h"
#include "CardStores.h"
#include "TempFolder.h"

#include <functional>
#include <memory>

// A whole engine over real files: a program folder and a card database in a
// temporary folder, the real file system behind a fault injector, a fixed
// clock, recorded messages and an exit that throws ProgramEnded.
class EngineRig
{
public:
    // schema is the column list of CARD_DATA, e.g. "REFERENCE VARCHAR(20), QTY INTEGER".
    explicit EngineRig(const QString &schema = QStringLiteral("REFERENCE VARCHAR(20), TITLE VARCHAR(50), QTY INTEGER"),
                       Backend backend = Backend::Sqlite);

    // Adds a record; values are SQL literals, e.g. "'A1', 'Dune', 3".
    void Add(const QString &values);
    // The field's values in rowid order as the database holds them once the
    // store has made its changes durable.
    QStringList Column(const QString &field)
    {
        store.Flush();
        return db->Column(field);
    }

    QString LogPath() const { return tmp.File(QStringLiteral("log/Batch_Log.lst")); }
    QByteArray LogBytes() const { return tmp.Read(QStringLiteral("log/Batch_Log.lst")); }
    QStringList LogLines() const;

    // Sets up a batch or import search-and-replace as a run would have left
    // it, with recordsLeft updates still expected.
    void Batch(const QString &searchField, const QString &value, const QString &replaceField,
               const QString &replaceValue, int recordsLeft);
    void Import(const QString &searchField, const QString &value, const QString &replaceField,
                const QString &replaceValue, int recordsLeft);

    TempFolder tmp;
    RecordingMessageBox msg;
    FixedClock clock;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(tmp.Path())};
    FreshDatabase fresh;
    QString dbPath = fresh.Location();
    std::unique_ptr<CardDb> db;
    std::unique_ptr<CardStore> storeOwner = CardStoreFor(dbPath);
    CardStore &store = *storeOwner;
    RunRequest run;
    RunProgress progress;
    // Called with the progress at every change a window would show.
    struct Report final : ProgressReport
    {
        std::function<void(const RunProgress &)> seen;
        void Changed(const RunProgress &p) override
        {
            if (seen)
                seen(p);
        }
    } report;
    Engine engine{run, progress, store, services, &report};
};
