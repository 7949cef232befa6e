#include "Items.h"

#include <cmath>

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

std::optional<long long> RoundToWholeNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    // Only digits, a sign, a point and an exponent: no "inf", "nan" or hex.
    for (const QChar c : trimmed) {
        if (!(c.isDigit() && c.unicode() < 128) && c != u'+' && c != u'-' && c != u'.' && c != u'e' && c != u'E')
            return std::nullopt;
    }
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding: halves to even
    if (rounded < -9.2e18 || rounded > 9.2e18)
        return std::nullopt;
    return static_cast<long long>(rounded);
}
