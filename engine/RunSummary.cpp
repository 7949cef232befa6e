#include "RunSummary.h"

#include <QStringList>

#include <algorithm>

namespace {

QString Count(long long n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Seconds with tenths below a minute, then minutes and whole seconds.
QString Duration(long long ms)
{
    ms = std::max(0LL, ms);
    if (ms < 60'000)
        return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
    const long long seconds = (ms + 500) / 1000;
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString RunSummary(RunMode mode, const RunProgress &progress)
{
    const bool import = mode == RunMode::Import;
    const long long lost = progress.lostUpdates;
    // The error count holds refused and lost updates alike, and stops at 32,767.
    const long long refused = std::max(0LL, int(progress.errorCount) - lost);
    QStringList parts{Count(std::max(0LL, progress.recordsChanged - lost), "record changed", "records changed")};
    if (import)
        parts << Count(progress.linesWithoutMatch, "line with no match", "lines with no match");
    parts << Count(refused, "refused update", "refused updates");
    if (lost > 0)
        parts << Count(lost, "update lost", "updates lost");
    parts << Duration(progress.elapsedMs);
    parts << (progress.loggedComplete ? QStringLiteral("logged complete") : QStringLiteral("not logged complete"));
    return (import ? QStringLiteral("Import ended: ") : QStringLiteral("Batch load ended: ")) + parts.join(QStringLiteral(", "))
           + QLatin1Char('.');
}
