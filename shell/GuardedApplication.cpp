#include "GuardedApplication.h"

#include "ConsoleMessageBox.h"
#include "ProgramExit.h"
#include "QtMessageBox.h"

#include <exception>

bool GuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ProcessExit().End(Unhandled(error.what(), !headless_));
    } catch (...) {
        ProcessExit().End(Unhandled("an unknown failure", !headless_));
    }
}

int GuardedApplication::Unhandled(const char *what, bool window)
{
    const QString text = QStringLiteral("The program stopped: %1").arg(QString::fromUtf8(what));
    ConsoleMessageBox().Show(text, MsgIcon::Critical);
    if (window)
        QtMessageBox().Show(text, MsgIcon::Critical);
    return 1;
}
