#include "EngineRig.h"

EngineRig::EngineRig(const QString &schema)
{
    db = std::make_unique<CardDb>(dbPath);
    db->Exec(QStringLiteral("CREATE TABLE CARD_DATA (%1)").arg(schema));
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
    v.Option_Batch.Value = true;
    v.Option_Import.Value = false;
    v.Combo1.Text = searchField;
    v.Text1.Text = value;
    v.Combo2.Text = replaceField;
    v.Text2.Text = replaceValue;
    v.RecordsLeft = Int16::Checked(recordsLeft);
    v.RecordsDone = 0;
    v.ProgressBar1.Max = recordsLeft;
}

void EngineRig::Import(const QString &searchField, const QString &value, const QString &replaceField,
                       const QString &replaceValue, int recordsLeft)
{
    Batch(searchField, value, replaceField, replaceValue, recordsLeft);
    v.Option_Batch.Value = false;
    v.Option_Import.Value = true;
}
