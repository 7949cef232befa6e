#pragma once

#include "Clock.h"
#include "DocumentViewer.h"
#include "Failure.h"
#include "MessageBox.h"
#include "ProgramExit.h"
#include "ProgramStarter.h"

#include <QString>
#include <QStringList>

#include <vector>

// Records every message instead of showing it.
class RecordingMessageBox final : public MessageBox
{
public:
    struct Shown
    {
        QString text;
        MsgIcon icon;
    };
    void Show(const QString &text, MsgIcon icon) override { shown.push_back({text, icon}); }
    void Note(const QString &text) override { notes << text; }
    std::vector<Shown> shown;
    QStringList notes;
};

// A clock that stands still until told otherwise.
class FixedClock final : public Clock
{
public:
    QDate Date() override { return date; }
    QTime Time() override { return time; }
    QDate date{2026, 12, 4};
    QTime time{15, 7, 9};
};

// Raised by ThrowingExit so that "end the program at once" can be observed;
// deliberately not a Failure, so no handler of the program catches it.
struct ProgramEnded
{
    int status = 0;
};

// Ends the program by throwing ProgramEnded, which no handler of the program catches.
class ThrowingExit final : public ProgramExit
{
public:
    [[noreturn]] void End(int status) override { throw ProgramEnded{status}; }
};

// Records every command line and starts nothing; or, refusing, fails as when
// there is no such program.
class RecordingStarter final : public ProgramStarter
{
public:
    void Start(const QString &commandLine) override { refusing ? throw Failure(commandLine) : void(started << commandLine); }
    QStringList started;
    bool refusing = false;
};

// Records every document shown.
class RecordingViewer final : public DocumentViewer
{
public:
    void Show(const QString &path) override { shown << path; }
    QStringList shown;
};
