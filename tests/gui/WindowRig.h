#pragma once

#include "CardDb.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "MainForm.h"
#include "MemorySettingsStore.h"
#include "SqliteCardStore.h"
#include "TempFolder.h"
#include "frmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <stdexcept>

// Runs events until done() holds (at most two seconds), then for settleMs more.
inline void ProcessEventsUntil(const std::function<bool()> &done, int settleMs = 20)
{
    for (QDeadlineTimer limit(2000); !done() && !limit.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    for (QDeadlineTimer settle(settleMs); !settle.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A window's control by its name; the test fails when there is none.
template <typename W = QWidget>
W *Control(const QWidget *window, const char *name)
{
    W *widget = window->findChild<W *>(QLatin1String(name));
    return widget ? widget : throw std::invalid_argument(name);
}

inline void Click(const QWidget *window, const char *button) { Control<QAbstractButton>(window, button)->click(); }

// The operator's answer to every file dialog: a path, or "" to cancel; and
// where the last dialog opened.
struct ChosenFilePicker final : FilePicker
{
    QString GetOpenFileName(const QString &, const QString &, const QString &at) override { return openedAt = at, chosen; }
    QString chosen, openedAt;
};

// A program folder with a card database, the services every window works
// with, and the main window over them once started. Shared with the fault
// suite, which starts it over the settings file on disk.
struct WindowParts
{
    WindowParts() { CardDb(folder.File("card.db")).Exec("CREATE TABLE CARD_DATA(REFERENCE TEXT, TITLE TEXT, QTY INTEGER)"); }

    // Creates the main window over settings and runs its start-up.
    void Start(SettingsStore &settings)
    {
        form = std::make_unique<MainForm>(v, store, services, settings, picker, starter);
        window = std::make_unique<frmMain>(v, *form);
        window->Start();
    }

    TempFolder folder;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    RecordingMessageBox msg;
    FixedClock clock;
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(folder.Path())};
    ChosenFilePicker picker;
    RecordingStarter starter;
    SqliteCardStore store{folder.File("card.db")};
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;
};

// The window parts over settings in memory, the program's first start
// already recorded.
class WindowRig : public testing::Test, public WindowParts
{
protected:
    WindowRig() { settings.Set("Tavrin", "KVRFennic", "File_register", "1"); }
    void Set(const char *key, const QString &value) { settings.Set("Tavrin", "Bulkrun", key, value); }
    void Start() { WindowParts::Start(settings); }
    template <typename W = QWidget> W *Ctl(const char *name) { return Control<W>(window.get(), name); }

    MemorySettingsStore settings;
};
