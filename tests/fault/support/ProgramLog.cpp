#include "ProgramLog.h"

#include <QRegularExpression>

namespace ProgramLog {

std::optional<QStringList> Messages(const QByteArray &bytes)
{
    static const QRegularExpression entry(QStringLiteral(
        "\\G\\d\\d-\\d\\d-\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M"
        "( Cancel update - Error in Record [^\\r\\n]* of field [^\\r\\n]*| Card data import complete\\.| Card data batch load complete\\.)\\r\\n"));
    const QString text = QString::fromUtf8(bytes);
    QStringList newestFirst;
    qsizetype at = 0;
    while (at < text.size()) {
        const QRegularExpressionMatch match = entry.match(text, at);
        if (!match.hasMatch())
            return std::nullopt;
        newestFirst << match.captured(1);
        at = match.capturedEnd();
    }
    QStringList oldestFirst(newestFirst.rbegin(), newestFirst.rend());
    return oldestFirst;
}

QString FailedUpdate(const QString &searchValue, const QString &field)
{
    return QStringLiteral(" Cancel update - Error in Record %1 of field %2").arg(searchValue, field);
}

QString ImportComplete()
{
    return QStringLiteral(" Card data import complete.");
}

QString BatchComplete()
{
    return QStringLiteral(" Card data batch load complete.");
}

QByteArray OldEntry(const QString &message)
{
    return QStringLiteral("01-02-2025 9:15:00 AM%1\r\n").arg(message).toUtf8();
}

} // namespace ProgramLog
