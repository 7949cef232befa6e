#include "ConsoleMessageBox.h"

#include <cstdio>

void ConsoleMessageBox::Show(const QString &text, MsgIcon icon)
{
    const char *kind = icon == MsgIcon::Critical ? "error: "
                     : icon == MsgIcon::Information ? "note: " : "";
    std::fprintf(stderr, "%s: %s%s\n", kAppTitle, kind, MessageLines(text).toLocal8Bit().constData());
    std::fflush(stderr);
}
