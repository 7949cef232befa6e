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
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>

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

// A window's control by its name; the test fails when there is none.
template <typename W = QWidget>
W *Control(const QWidget *window, const char *name)
{
    W *widget = window->findChild<W *>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

inline void Click(const QWidget *window, const char *button)
{
    Control<QAbstractButton>(window, button)->click();
}

// Records the command lines; a missing program fails the start.
struct MissingProgramStarter final : ProgramStarter
{
    void Start(const QString &line) override { missing ? throw Failure(QStringLiteral("not found")) : started.append(line); }
    bool missing = false;
    QStringList started;
};

// The operator's answer to every file dialog: a path, or "" to cancel.
struct ChosenFilePicker final : FilePicker
{
    QString GetOpenFileName(const QString &, const QString &) override { return chosen; }
    QString chosen;
};

// A program folder with a card database, an import file and a list, the
// services every window works with, and the main window over them once started.
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
    QStringList Messages() const
    {
        QStringList texts;
        for (const auto &shown : msg.shown)
            texts << shown.text;
        return texts;
    }

    TempFolder folder;
    QString importFile;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    RecordingMessageBox msg;
    FixedClock clock;
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(folder.Path())};
    MemorySettingsStore settings;
    ChosenFilePicker picker;
    MissingProgramStarter starter;
    SqliteCardStore store{folder.File(QStringLiteral("card.db"))};
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;
};
