// The split rule of import lines and list entries, and item numbers. The
// first byte gives the delimiter's length in bytes (its low three bits) and
// how bytes become text (bit 3: UTF-8, else Latin-1, which yields every
// character U+0000..U+00FF); the delimiter's bytes follow, then the line's.
//
// Holds: the items joined with the delimiter give back the line; an empty
// delimiter gives the line as the one item; each item but the last ends at
// the first whole occurrence of the delimiter after its start, and the last
// holds none; ItemAt gives the items by number and "" beyond them;
// ParseWholeNumber accepts exactly [+-]digits (within 64 bits) with blanks
// around, and what it accepts reads back as the same number.
#include "Items.h"

#include "FuzzSupport.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

// The sign and the digits of text without the blanks around it, or nullopt
// when it is not of that form.
struct Written
{
    bool negative = false;
    QString digits; // without leading zeros; "0" for zero
};

std::optional<Written> AsWritten(const QString &text)
{
    const QString trimmed = text.trimmed();
    Written written;
    qsizetype i = 0;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-'))
        written.negative = trimmed[i++] == u'-';
    if (i == trimmed.size())
        return std::nullopt;
    for (qsizetype k = i; k < trimmed.size(); ++k) {
        if (trimmed[k] < u'0' || trimmed[k] > u'9')
            return std::nullopt;
    }
    while (i + 1 < trimmed.size() && trimmed[i] == u'0')
        ++i;
    written.digits = trimmed.sliced(i);
    return written;
}

bool FitsIn64Bits(const Written &written)
{
    const QString limit = written.negative ? QStringLiteral("9223372036854775808") : QStringLiteral("9223372036854775807");
    return written.digits.size() < limit.size() || (written.digits.size() == limit.size() && written.digits <= limit);
}

void CheckWholeNumber(const QString &text)
{
    const std::optional<long long> value = ParseWholeNumber(text);
    const std::optional<Written> written = AsWritten(text);
    const bool expected = written && FitsIn64Bits(*written);
    FUZZ_CHECK(value.has_value() == expected, Shown(text));
    if (value) {
        const QString canonical = (written->negative && written->digits != u"0" ? QStringLiteral("-") : QString()) + written->digits;
        FUZZ_CHECK(QString::number(*value) == canonical, Shown(text) + QStringLiteral(" read as ") + QString::number(*value));
    }
    FUZZ_CHECK(ParseWholeNumber(QStringLiteral(" \t") + text + QStringLiteral("\t ")) == value, Shown(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t delimiterBytes = std::min<std::size_t>(data[0] & 7, size - 1);
    const bool utf8 = (data[0] & 8) != 0;
    const auto text = [&](std::size_t from, std::size_t count) {
        const QByteArray bytes = Bytes(data + from, count);
        return utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    };
    const QString delimiter = text(1, delimiterBytes);
    const QString line = text(1 + delimiterBytes, size - 1 - delimiterBytes);
    const auto where = [&] { return QStringLiteral("line '%1' delimiter '%2'").arg(Shown(line), Shown(delimiter)); };

    const QStringList items = SplitItems(line, delimiter);
    FUZZ_CHECK(!items.isEmpty(), where());
    FUZZ_CHECK(items.join(delimiter) == line, where());
    if (delimiter.isEmpty()) {
        FUZZ_CHECK(items.size() == 1, where());
    } else {
        for (qsizetype i = 0; i + 1 < items.size(); ++i)
            FUZZ_CHECK((items[i] + delimiter).indexOf(delimiter) == items[i].size(), where());
        FUZZ_CHECK(!items.back().contains(delimiter), where());
    }

    for (const long long n : {LLONG_MIN, -1LL, 0LL, 1LL, 2LL, (long long)items.size() - 1, (long long)items.size(), LLONG_MAX})
        FUZZ_CHECK(ItemAt(items, n) == (n >= 0 && n < items.size() ? items[qsizetype(n)] : QString()), where());

    CheckWholeNumber(line);
    for (qsizetype i = 0; i < std::min<qsizetype>(items.size(), 16); ++i)
        CheckWholeNumber(items[i]);
    return 0;
}
