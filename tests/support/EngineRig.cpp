#include "EngineRig.h"

EngineRig::EngineRig(const QString &schema, Backend backend)
    : fresh(backend, tmp.Path())
{
    db = std::make_unique<CardDb>(dbPath);
    db->CreateCardTable(schema);
}

void EngineRig::Add(const QString &values)
{
    db->Exec(QStringLiteral("INSERT INTO CARD_DATA VALUES (%1)").arg(values));
}

QStringList EngineRig::LogLines() const
{
    QString text = QString::fromUtf8(LogBytes());
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

void EngineRig::Batch(const QString &searchField, const QString &value, const QString &replaceField,
                      const QString &replaceValue, int recordsLeft)
{
    run.mode = RunMode::Batch;
    run.searchField = searchField;
    run.searchValue = value;
    run.replaceField = replaceField;
    run.replaceValue = replaceValue;
    progress.recordsLeft = Int16::Checked(recordsLeft);
    progress.recordsDone = 0;
    progress.progressMax = recordsLeft;
}

void EngineRig::Import(const QString &searchField, const QString &value, const QString &replaceField,
                       const QString &replaceValue, int recordsLeft)
{
    Batch(searchField, value, replaceField, replaceValue, recordsLeft);
    run.mode = RunMode::Import;
}
