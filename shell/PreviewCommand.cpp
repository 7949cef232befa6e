#include "PreviewCommand.h"

#include "PreviewCsv.h"
#include "PreviewRun.h"

#include <cstdio>

int RunPreviewUnattended(const MainForm &form, CardStore &store, Services &services)
{
    const PreviewReport report = PreviewRun(form.Request(), store, services);
    const QByteArray csv = PreviewCsv(report).toUtf8();
    std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
    std::fflush(stdout);
    for (const QString &line : PreviewTotals(report))
        std::fprintf(stderr, "%s: %s\n", kAppTitle, line.toLocal8Bit().constData());
    std::fflush(stderr);
    return 0;
}
