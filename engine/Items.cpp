#include "Items.h"

QStringList SplitItems(const QString &line, const QString &delimiter)
{
    if (delimiter.isEmpty())
        return {line};
    return line.split(delimiter, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString ItemAt(const QStringList &items, long long n)
{
    if (n < 0 || n >= items.size())
        return {};
    return items.at(static_cast<qsizetype>(n));
}

std::optional<long long> ParseWholeNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-'))
        ++i;
    if (i == trimmed.size())
        return std::nullopt;
    for (qsizetype j = i; j < trimmed.size(); ++j) {
        if (trimmed[j] < u'0' || trimmed[j] > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const long long value = trimmed.toLongLong(&ok);
    return ok ? std::optional<long long>(value) : std::nullopt;
}
