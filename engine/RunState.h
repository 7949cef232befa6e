#pragma once

#include "Int16.h"

#include <QString>
#include <QStringList>

#include <functional>

// The main window's values and run state: every control that the procedures
// exchange data through, under its control name, and the main window's run
// variables. The engine reads and writes only this object (and the platform
// interfaces), so a run needs no window; the window mirrors it.

struct TextBox
{
    QString Text;
    bool Visible = true;
};

struct Label
{
    QString Caption;
    bool Visible = true;
};

struct OptionButton
{
    bool Value = false;
    bool Visible = true;
};

struct CheckBox
{
    int Value = 0;  // 0 clear, 1 ticked
    bool Visible = true;
};

// The update box bound to the card store: DataField names the bound field.
struct BoundTextBox
{
    QString Text;
    QString DataField = QStringLiteral("REFERENCE");
};

struct ProgressBar
{
    int Min = 0;
    int Max = 100;
    int Value = 0;
};

// The never-seen log box: its text and its insertion point.
struct LogBox
{
    QString Text;
    int SelStart = 0;
};

enum MousePointerCode { kDefaultPointer = 0, kBusyPointer = 11 };

struct RunState
{
    // Mode.
    OptionButton Option_Batch{true};
    OptionButton Option_Import;

    // Search and replace.
    TextBox Combo1;         // search field name
    TextBox Text1;          // search value
    TextBox Combo2;         // replace field name
    TextBox Text2;          // replace value
    TextBox txtSearch_col{QStringLiteral("0")};
    TextBox txtReplace_col{QStringLiteral("1")};
    TextBox txtImportFile;
    TextBox txtViewImport;
    CheckBox Chk_RepFromLst;
    TextBox txtshowlist{QString(), false};
    QStringList List1;      // items of the list entry being applied
    QStringList List2;      // items of the current import line
    BoundTextBox Text3;

    // What a run shows.
    ProgressBar ProgressBar1;
    Label LBCounter{QStringLiteral("0"), false};
    Label LBtext{QStringLiteral("Records Loaded"), false};
    Label lberrcount{QStringLiteral("Errors 0")};
    LogBox txtLoglist;
    Label Label3{QStringLiteral("Replace Field")};
    Label Label4{QStringLiteral("Replace Value")};
    int MousePointer = kDefaultPointer;

    // Run variables.
    Int16 RecordsLeft;
    Int16 RecordsDone;
    Int16 ListLineCount;
    long long RecordNo = 0;
    bool RecordError = false;
    Int16 ErrorCount;
    QString AutoRun;        // the Auto_Run setting as loaded
    QString Delimiter = QStringLiteral(",");

    // A failure to write the run log is shown once per run; the runs clear this.
    bool LogFailureShown = false;
    // Set once a run has passed its checks and may write; cleared at each
    // run's start. A run that stops before is not a run that ended early.
    bool RunBegun = false;
    // Updates of this run that the card database accepted but could not
    // commit, and why the last of them was lost. A run that lost any does
    // not log its completion.
    int LostUpdates = 0;
    QString LostReason;

    // Called after a change that the window shows while a run is going on
    // (progress, pointer, counters), so the window can repaint without
    // handing the event loop to input. Empty when no window is attached.
    std::function<void()> Changed;

    void Notify() const
    {
        if (Changed)
            Changed();
    }
};

