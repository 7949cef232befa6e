// Takes the screenshots of the manual from the program's own windows on Qt's
// offscreen platform: the main window in each of its layouts, and each window
// that the menu opens, as the menu opens it. It works on a demo that
// scripts/demo.sh laid out and never starts a run.
//
//     kvr_screenshots DEMO_FOLDER OUTPUT_FOLDER
#include "ConsoleMessageBox.h"
#include "DiskFileSystem.h"
#include "IniSettingsStore.h"
#include "MainForm.h"
#include "MenuCommands.h"
#include "ProcessStarter.h"
#include "QtDocumentViewer.h"
#include "SqliteCardStore.h"
#include "frmMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QString output;

void Settle()
{
    for (QDeadlineTimer settle(300); !settle.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The window with a plain title bar above it showing its caption, since the
// offscreen platform draws no window frames.
void Save(QWidget *window, const char *name)
{
    Settle();
    const QPixmap client = window->grab();
    const int bar = 24;
    QImage image(client.width() + 2, client.height() + bar + 1, QImage::Format_RGB32);
    image.fill(QColor(0x33, 0x4e, 0x68));
    QPainter painter(&image);
    painter.drawPixmap(1, bar, client);
    QFont font = QApplication::font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 0, image.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
    painter.end();
    const QString path = output + QLatin1Char('/') + QLatin1String(name);
    if (!image.save(path)) {
        std::fprintf(stderr, "kvr_screenshots: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    std::printf("%s\n", qPrintable(path));
}

void Click(QWidget *window, const char *control)
{
    window->findChild<QAbstractButton *>(QLatin1String(control))->click();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kvr_screenshots DEMO_FOLDER OUTPUT_FOLDER\n");
        return 64;
    }
    const QString demo = QString::fromLocal8Bit(argv[1]);
    output = QString::fromLocal8Bit(argv[2]);

    IniSettingsStore settings(demo + QStringLiteral("/config/Tavrin.ini"));
    SqliteCardStore store(demo + QStringLiteral("/home/tavrin/database/card.db"));
    ConsoleMessageBox msg;
    SystemClock clock;
    DiskFileSystem fs;
    ProcessExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(demo)};
    NoFilePicker picker;
    ProcessStarter starter;
    QtDocumentViewer manual;
    frmMainValues v;
    MainForm form(v, store, services, settings, picker, starter);
    frmMain window(v, form);
    MenuCommands menu(window, form, v, store, services, settings, starter, manual);

    window.Start();
    v.Timer1Enabled = false;  // no run starts by itself here
    window.show();
    window.Handle([&] { form.Form_Activate(); });

    Click(&window, "Chk_view");
    Save(&window, "main-import.png");
    Click(&window, "Chk_view");
    Click(&window, "Option_Batch");
    Save(&window, "main-batch.png");
    Click(&window, "Chk_RepFromLst");
    Save(&window, "main-list.png");

    const std::pair<const char *, const char *> entries[] = {{"mnuOpen", "frmFile.png"},
                                                             {"mnuConfigList", "frmConfigList.png"},
                                                             {"mnuSetup", "frmSetup.png"},
                                                             {"mnuLog", "frmLog.png"}};
    for (const auto &[entry, name] : entries) {
        QTimer::singleShot(0, &window, [name = name] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                Save(dialog, name);
                dialog->reject();
            }
        });
        window.findChild<QAction *>(QLatin1String(entry))->trigger();
    }

    Click(&window, "Chk_RepFromLst");
    Click(&window, "Option_Import");
    v.AutoRun = QStringLiteral("1");
    window.Handle([&] { form.Form_Activate(); });
    Save(&window, "main-auto.png");
    return 0;
}
