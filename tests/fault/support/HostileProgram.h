#pragma once

#include "CardDb.h"
#include "ProgramUnderTest.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

// The built program over a card table of the given columns, run to its end
// with what the hostile-input and full-disk cases look at: its exit status,
// what it printed, its peak memory.
class HostileProgram : public ProgramUnderTest
{
public:
    // schema is the column list of CARD_DATA.
    explicit HostileProgram(const QString &schema)
        : db(std::make_unique<CardDb>(DatabasePath()))
    {
        db->Exec(QStringLiteral("CREATE TABLE CARD_DATA (%1)").arg(schema));
    }

    struct Outcome
    {
        int status = -1; // exit status; -1 when it did not exit by itself
        QString err;     // what it printed
        long peakRssKb = 0;
        double seconds = 0;
    };

    // Writes the settings: "[Bulkrun]" with bulkrun's lines, Auto_Run=1 and
    // the first start recorded.
    void Settings(const QByteArray &bulkrun) { WriteSettings(bulkrun); }
    // Runs the program, killing it if it has not ended within timeoutSeconds.
    Outcome Run(int timeoutSeconds = 300)
    {
        const ProgramOutcome out = ProgramUnderTest::Run(std::chrono::seconds(timeoutSeconds));
        return {out.status, out.output, out.peakRssKb, out.seconds};
    }

    QString Bin(const QString &name) const { return File(QStringLiteral("bin/") + name); }
    QByteArray LogBytes() const { return Read(LogPath()); }

    const TempFolder &tmp = Folder();
    std::unique_ptr<CardDb> db;
};
