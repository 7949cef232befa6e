#pragma once

#include "MainValues.h"

#include <QString>
#include <QStringList>

// The main window's values beyond what the runs use: the window itself, the
// controls that only the layouts touch, and the field lists of the combo boxes.
// Heights are outer heights in twips (15 twips are one pixel at 96 dpi).

struct CommandButton
{
    bool Visible = true;
};

inline constexpr int kNormalHeight = 4080;
inline constexpr int kTallHeight = 6195;
inline constexpr int kAutoRunHeight = 1035;

struct frmMainValues : MainValues
{
    QString Caption;
    int Height = kNormalHeight;

    Label Label2{QStringLiteral("Search Criteria")};
    Label Label5{QStringLiteral("Tavrin Card Data Import/Batch loader")};
    CommandButton cmdexeNow;
    CommandButton Command3;
    CommandButton cmdFile;
    CheckBox Chk_view;
    QStringList Combo1List;
    QStringList Combo2List;
    bool Timer1Enabled = false;
    // The status bar's line: the last run's summary.
    QString StatusText;
};
