#include "HostileWindow.h"

HostileWindow::HostileWindow(const QString &schema)
{
    db = std::make_unique<CardDb>(tmp.File(QStringLiteral("card.db")));
    db->Exec(QStringLiteral("CREATE TABLE CARD_DATA (%1)").arg(schema));
}

void HostileWindow::Start()
{
    form = std::make_unique<MainForm>(v, store, services, settings, picker_, starter);
    window = std::make_unique<frmMain>(v, *form);
    window->Start();
}
