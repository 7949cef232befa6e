#include "ConsoleMessageBox.h"

#include <cstdio>

void ConsoleMessageBox::Show(const QString &text, MsgIcon icon)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const char *kind = icon == MsgIcon::Critical ? "error: "
                     : icon == MsgIcon::Information ? "note: " : "";
    std::fprintf(stderr, "%s: %s%s\n", kAppTitle, kind, shown.toLocal8Bit().constData());
    std::fflush(stderr);
}
