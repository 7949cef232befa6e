#pragma once

#include "CardDb.h"
#include "Controls.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "MainForm.h"
#include "MemorySettingsStore.h"
#include "SqliteCardStore.h"
#include "TempFolder.h"
#include "frmMain.h"

#include <QApplication>
#include <QElapsedTimer>

#include <functional>
#include <memory>

// Runs events until done() holds (at most two seconds), then for settleMs more.
inline void ProcessEventsUntil(const std::function<bool()> &done, int settleMs = 20)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    clock.restart();
    while (clock.elapsed() < settleMs)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Records every message and runs a piece of code while the box is "open", as
// a modal box's event loop would run events.
class LoopingMessageBox final : public MessageBox
{
public:
    void Show(const QString &text, MsgIcon) override
    {
        shown << text;
        if (whileOpen)
            whileOpen();
    }
    QStringList shown;
    std::function<void()> whileOpen;
};

// Records the command lines; a missing program fails the start.
class MissingProgramStarter final : public ProgramStarter
{
public:
    void Start(const QString &commandLine) override
    {
        if (missing)
            throw Failure(QStringLiteral("not found"));
        started << commandLine;
    }
    bool missing = false;
    QStringList started;
};

class NoFilePicker final : public FilePicker
{
public:
    QString GetOpenFileName(const QString &, const QString &) override { return {}; }
};

// A program folder with a card database, an import file and a list, and the
// main window over it.
class WindowRig : public testing::Test
{
protected:
    WindowRig()
    {
        CardDb(folder.File(QStringLiteral("card.db")))
            .Exec(QStringLiteral("CREATE TABLE CARD_DATA(REFERENCE TEXT, QTY INTEGER)"));
        importFile = folder.Write(QStringLiteral("import.txt"), "R1,7\r\nR2,8\r\n");
        folder.Write(QStringLiteral("list.lst"), "Fixed Value_,QTY,9\r\n");
        settings.Set(QStringLiteral("Tavrin"), QStringLiteral("KVRFennic"), QStringLiteral("File_register"), QStringLiteral("1"));
    }

    void Set(const char *key, const QString &value)
    {
        settings.Set(QStringLiteral("Tavrin"), QStringLiteral("Bulkrun"), QLatin1String(key), value);
    }
    void Start()
    {
        form = std::make_unique<MainForm>(v, store, services, settings, picker, starter);
        window = std::make_unique<frmMain>(v, *form);
        window->Start();
    }
    // Waits until the window is the active one.
    bool Activated()
    {
        ProcessEventsUntil([this] { return window->isActiveWindow(); });
        return window->isActiveWindow();
    }
    template <typename W = QWidget>
    W *Ctl(const char *name) { return Control<W>(window.get(), name); }
    int ReadWholeCalls() { return fs.Calls(FaultyFileSystem::Op::ReadWhole); }

    TempFolder folder;
    QString importFile;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    LoopingMessageBox msg;
    FixedClock clock;
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(folder.Path())};
    MemorySettingsStore settings;
    NoFilePicker picker;
    MissingProgramStarter starter;
    SqliteCardStore store{folder.File(QStringLiteral("card.db"))};
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;
};
