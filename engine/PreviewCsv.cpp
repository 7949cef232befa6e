#include "PreviewCsv.h"

#include <algorithm>

namespace {

QString CsvField(const QString &text)
{
    static const QString kSpecial = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return kSpecial.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString Line(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << CsvField(field);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

} // namespace

QString PreviewCsv(const PreviewReport &report)
{
    const bool import = report.mode == RunMode::Import;
    QString csv = Line({import ? QStringLiteral("Line") : QStringLiteral("Update"), QStringLiteral("Search value"),
                        QStringLiteral("Field"), QStringLiteral("Value"), QStringLiteral("Matches"),
                        QStringLiteral("Changes"), QStringLiteral("Refused because")});
    for (const PreviewRow &row : report.rows) {
        csv += Line({QString::number(row.line), row.searchValue, row.field, row.value, QString::number(row.matches),
                     QString::number(row.changes), row.refusal});
    }
    return csv;
}

QStringList PreviewTotals(const PreviewReport &report)
{
    QStringList totals;
    if (report.mode == RunMode::Import) {
        totals << QStringLiteral("Lines: %1").arg(report.lines)
               << QStringLiteral("Lines skipped (no search value): %1").arg(report.skipped)
               << QStringLiteral("Lines matching no record: %1").arg(report.noMatch)
               << QStringLiteral("Lines matching several records: %1").arg(report.several);
    } else {
        totals << QStringLiteral("Records that match: %1").arg(report.matched);
    }
    totals << QStringLiteral("Refused updates: %1").arg(report.refusals)
           << QStringLiteral("Records that would change: %1").arg(report.changes)
           << QStringLiteral("More than 32767 updates: %1").arg(report.overLimit ? QStringLiteral("yes") : QStringLiteral("no"));
    return totals + report.messages;
}
