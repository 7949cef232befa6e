#include "PreviewCommand.h"

#include "Failure.h"
#include "PreviewCsv.h"
#include "PreviewRun.h"

#include <cstdio>

int RunPreviewUnattended(const MainForm &form, CardStore &store, Services &services)
{
    PreviewReport report;
    try {
        report = PreviewRun(form.Request(), store, services);
    } catch (const Failure &error) {
        std::fprintf(stderr, "%s: error: the preview stopped: %s\n", kAppTitle, error.message().toLocal8Bit().constData());
        return 1;
    }
    const QByteArray csv = PreviewCsv(report).toUtf8();
    std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
    std::fflush(stdout);
    for (const QString &line : PreviewTotals(report))
        std::fprintf(stderr, "%s: %s\n", kAppTitle, line.toLocal8Bit().constData());
    std::fflush(stderr);
    return 0;
}
