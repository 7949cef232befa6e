#pragma once

#include <QString>

#include <functional>

// The main window's controls as values, under their control names: what the
// operator sets and the window shows. The main window's handlers and the
// auxiliary windows work on these; the window mirrors them onto its widgets,
// and maps them onto a run request when a run starts.

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

struct ProgressBar
{
    int Min = 0;
    int Max = 100;
    int Value = 0;
};

enum MousePointerCode { kDefaultPointer = 0, kBusyPointer = 11 };

struct MainValues
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

    // What a run shows.
    ProgressBar ProgressBar1;
    Label LBCounter{QStringLiteral("0"), false};
    Label LBtext{QStringLiteral("Records Loaded"), false};
    Label lberrcount{QStringLiteral("Errors 0")};
    Label Label3{QStringLiteral("Replace Field")};
    Label Label4{QStringLiteral("Replace Value")};
    int MousePointer = kDefaultPointer;

    QString AutoRun;        // the Auto_Run setting as loaded
    // The program-wide delimiter of import lines and list entries.
    QString Delimiter = QStringLiteral(",");

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
