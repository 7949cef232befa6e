#pragma once

#include "CardDb.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FilePicker.h"
#include "IniSettingsStore.h"
#include "MainForm.h"
#include "SqliteCardStore.h"
#include "TempFolder.h"
#include "frmMain.h"

#include <QAbstractButton>
#include <QWidget>

#include <memory>

// The main window in this process over real files in a temporary folder: the
// program folder itself, the card database card.db, and the settings file
// Tavrin.ini read and written by the real settings store. Messages are
// recorded; ending the program throws ProgramEnded.
class HostileWindow
{
public:
    // schema is the column list of CARD_DATA.
    explicit HostileWindow(const QString &schema);

    QString IniPath() const { return tmp.File(QStringLiteral("Tavrin.ini")); }
    QByteArray Ini() const { return tmp.Read(QStringLiteral("Tavrin.ini")); }

    // Creates the window and runs its start-up (Form_Load); a first start
    // ends with ProgramEnded.
    void Start();
    template <typename W = QWidget>
    W *Ctl(const char *name) const
    {
        return window->findChild<W *>(QLatin1String(name));
    }
    void Click(const char *button) const { Ctl<QAbstractButton>(button)->click(); }

    TempFolder tmp;
    std::unique_ptr<CardDb> db;
    RecordingMessageBox msg;
    FixedClock clock;
    DiskFileSystem fs;
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(tmp.Path())};
    IniSettingsStore settings{IniPath()};
    SqliteCardStore store{tmp.File(QStringLiteral("card.db"))};
    RecordingStarter starter;
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;

private:
    class NoPicker final : public FilePicker
    {
    public:
        QString GetOpenFileName(const QString &, const QString &) override { return {}; }
    } picker_;
};
