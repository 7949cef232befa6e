// What every run does at its start and its end.
#include "Engine.h"

#include "Failure.h"

void Engine::StartRun()
{
    v.lberrcount.Caption = QStringLiteral("Errors 0");
    v.ErrorCount = 0;
    v.LogFailureShown = false;
    v.Notify();
}

void Engine::BindText3()
{
    v.Text3.DataField = v.Combo2.Text;
    store.SetDataField(v.Text3.DataField);
}

// Whatever ends a run, the updates it made are made durable; a database that
// cannot take them is reported, since they would otherwise be lost unseen.
Engine::RunEnd::~RunEnd()
{
    try {
        engine.store.Flush();
    } catch (const Failure &error) {
        engine.s.msg.Show(QStringLiteral("The card database could not keep the last updates.\r%1").arg(error.message()),
                          MsgIcon::Critical);
    }
    engine.v.MousePointer = kDefaultPointer;
    engine.v.Notify();
}
