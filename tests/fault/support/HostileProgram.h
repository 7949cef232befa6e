#pragma once

#include "CardDb.h"
#include "TempFolder.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The built program in a folder of its own, as a scheduled run finds it: the
// executable in bin/ (its list and log go beside it), the card database at
// home/tavrin/database/card.db and the settings in config/Tavrin.ini. Run()
// starts it unattended and reports how it ended and how much memory it took.
class HostileProgram
{
public:
    // schema is the column list of CARD_DATA.
    explicit HostileProgram(const QString &schema);

    struct Outcome
    {
        int status = -1;       // exit status; -1 when it did not exit by itself
        QString err;           // what it printed on standard error
        // The program's peak resident set. A fork starts it with a copy of
        // the resident set of this process, so a test that measures keeps
        // its own memory small while the program runs.
        long peakRssKb = 0;
        double seconds = 0;
    };

    // Writes the settings: "[Bulkrun]" with bulkrun's lines, Auto_Run=1 and
    // the first start recorded.
    void Settings(const QByteArray &bulkrun);
    // Starts the program and waits at most timeoutSeconds for it to end; a
    // program that has not ended by then is killed.
    Outcome Run(int timeoutSeconds = 300);

    QString Bin(const QString &name) const { return tmp.File(QStringLiteral("bin/") + name); }
    QString LogPath() const { return Bin(QStringLiteral("log/Batch_Log.lst")); }
    QByteArray LogBytes() const { return tmp.Read(QStringLiteral("bin/log/Batch_Log.lst")); }

    TempFolder tmp;
    std::unique_ptr<CardDb> db;
};
