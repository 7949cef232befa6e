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

#include <QRegularExpression>

#include <algorithm>
#include <climits>

namespace {

void CheckWholeNumber(const QString &text)
{
    // The sign, and the digits without leading zeros ("0" for zero).
    static const QRegularExpression form(QStringLiteral("\\A([+-]?)0*([0-9]+)\\z"));
    const QRegularExpressionMatch written = form.match(text.trimmed());
    const bool negative = written.captured(1) == u"-";
    const QString digits = written.captured(2);
    const QString limit = negative ? QStringLiteral("9223372036854775808") : QStringLiteral("9223372036854775807");
    const bool fits = written.hasMatch() && (digits.size() < limit.size() || (digits.size() == limit.size() && digits <= limit));

    const std::optional<long long> value = ParseWholeNumber(text);
    FUZZ_CHECK(value.has_value() == fits, Shown(text));
    if (value)
        FUZZ_CHECK(QString::number(*value) == (negative && digits != u"0" ? "-" : "") + digits, Shown(text) + " read as " + QString::number(*value));
    FUZZ_CHECK(ParseWholeNumber(QStringLiteral(" \t") + text + QStringLiteral("\t ")) == value, Shown(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t delimiterBytes = std::min<std::size_t>(data[0] & 7, size - 1);
    const auto text = [&](std::size_t from, std::size_t count) {
        const QByteArray bytes = Bytes(data + from, count);
        return (data[0] & 8) ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    };
    const QString delimiter = text(1, delimiterBytes);
    const QString line = text(1 + delimiterBytes, size - 1 - delimiterBytes);
    const auto where = [&] { return QStringLiteral("line '%1' delimiter '%2'").arg(Shown(line), Shown(delimiter)); };

    const QStringList items = SplitItems(line, delimiter);
    FUZZ_CHECK(!items.isEmpty() && items.join(delimiter) == line, where());
    FUZZ_CHECK(!delimiter.isEmpty() || items.size() == 1, where());
    for (qsizetype i = 0; !delimiter.isEmpty() && i < items.size(); ++i)
        FUZZ_CHECK(i + 1 == items.size() ? !items[i].contains(delimiter) : (items[i] + delimiter).indexOf(delimiter) == items[i].size(), where());

    for (const long long n : {LLONG_MIN, -1LL, 0LL, 1LL, 2LL, (long long)items.size() - 1, (long long)items.size(), LLONG_MAX})
        FUZZ_CHECK(ItemAt(items, n) == (n >= 0 && n < items.size() ? items[qsizetype(n)] : QString()), where());

    CheckWholeNumber(line);
    for (qsizetype i = 0; i < std::min<qsizetype>(items.size(), 16); ++i)
        CheckWholeNumber(items[i]);
    return 0;
}
