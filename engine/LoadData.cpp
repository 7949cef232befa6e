// The record update: the one procedure that changes card records.
#include "Engine.h"

#include "Failure.h"

namespace {

// Sets a value that the window shows while a run goes on, and lets it repaint.
template <typename T>
void Show(const RunState &v, T &target, const T &value)
{
    target = value;
    v.Notify();
}

} // namespace

void Engine::Load_Data()
{
    if (v.Text1.Text.isEmpty()) {
        s.msg.Show(QStringLiteral("Search criteria not specified!"), MsgIcon::Critical);
        return;
    }

    // Import mode counts once per call, before any record is touched; a
    // counter step out of range here fails the call without logging.
    if (!v.Option_Batch.Value) {
        v.RecordsLeft -= 1;
        v.RecordsDone += 1;
        Show(v, v.ProgressBar1.Value, int(v.RecordsDone));
    }

    BindText3();

    try {
        v.LBCounter.Visible = false;
        v.LBtext.Visible = false;
        v.RecordNo = 0;
        Show(v, v.MousePointer, int(kBusyPointer));

        store.Refresh();
        store.MoveFirst();
        const Search search(v.Combo1.Text, v.Text1.Text);
        while (!store.IsEOF()) {
            store.Find(search);
            v.Text3.Text = v.Text2.Text;
            store.SetText(v.Text3.Text);
            if (store.IsEOF())
                break;
            if (v.Option_Batch.Value) {
                v.RecordsLeft -= 1;
                v.RecordsDone += 1;
                Show(v, v.ProgressBar1.Value, int(v.RecordsDone));
            }
            ++v.RecordNo;
            store.MoveNext();
        }

        Show(v, v.MousePointer, int(kDefaultPointer));
        v.LBCounter.Caption = QString::number(v.RecordNo);
        if (v.Option_Batch.Value) {
            v.LBCounter.Visible = true;
            v.LBtext.Visible = true;
        }
        if (v.RecordsLeft == 0) {
            store.Flush();
            Log_event();
        }
    } catch (const LostWrites &lost) {
        LoadDataFailed(&lost);
    } catch (const Failure &) {
        LoadDataFailed(nullptr);
    }
}

// The error path: log the failed update, and the run's end when it was the
// last update expected. The rest of the match walk is abandoned. When the
// failure was a commit that lost updates (lost), those are the failed ones,
// each logged under its own search value and field.
void Engine::LoadDataFailed(const LostWrites *lost)
{
    // The log must never run ahead of the database: make what was committed
    // before the failure durable first, logging what even that loses.
    try {
        store.Flush();
    } catch (const LostWrites &flushLost) {
        LogLostWrites(flushLost);
    }
    if (lost) {
        LogLostWrites(*lost);
    } else {
        v.RecordError = true;
        Log_event();
    }
    if (v.RecordsLeft == 0)
        Log_event();
    Show(v, v.MousePointer, int(kDefaultPointer));
}
