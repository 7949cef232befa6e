// What every run does at its start and its end.
#include "Engine.h"

#include "Failure.h"

void Engine::StartRun()
{
    v.lberrcount.Caption = QStringLiteral("Errors 0");
    v.ErrorCount = 0;
    v.LogFailureShown = false;
    v.RunBegun = false;
    v.LostUpdates = 0;
    v.LostReason.clear();
    v.Notify();
}

void Engine::BindText3()
{
    v.Text3.DataField = v.Combo2.Text;
    store.SetDataField(v.Text3.DataField);
}

// Whatever ends a run, the updates it made are made durable, and updates
// that the card database could not keep are logged and reported: they must
// never be lost unseen.
Engine::RunEnd::~RunEnd()
{
    RunState &v = engine.v;
    try {
        engine.store.Flush();
    } catch (const LostWrites &lost) {
        engine.LogLostWrites(lost);
    }
    if (v.LostUpdates > 0) {
            engine.s.msg.Show(QStringLiteral("%1 updates of this run were lost: the card database could not commit them (%2).\r"
                                         "Each one is logged as a failed update, and the run's completion was not logged.")
                              .arg(v.LostUpdates)
                              .arg(v.LostReason),
                          MsgIcon::Critical);
    }
    v.MousePointer = kDefaultPointer;
    v.Notify();
}
