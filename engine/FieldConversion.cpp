#include "FieldConversion.h"

#include <QDate>
#include <QTime>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using Kind = FieldConversion::Kind;

constexpr qint64 kInt16Min = std::numeric_limits<qint16>::min();
constexpr qint64 kInt16Max = std::numeric_limits<qint16>::max();
constexpr qint64 kInt32Min = std::numeric_limits<qint32>::min();
constexpr qint64 kInt32Max = std::numeric_limits<qint32>::max();
constexpr qint64 kInt64Min = std::numeric_limits<qint64>::min();
constexpr qint64 kInt64Max = std::numeric_limits<qint64>::max();

struct TypeName
{
    const char *name;
    Kind kind;
    qint64 min = 0;
    qint64 max = 0;
};

// Declared type names, with the synonyms of the Jet SQL dialect the card
// tables were designed in.
const TypeName kTypeNames[] = {
    {"TEXT", Kind::Text},
    {"VARCHAR", Kind::Text},
    {"CHAR", Kind::Text},
    {"CHARACTER", Kind::Text},
    {"CHARACTER VARYING", Kind::Text},
    {"VARYING CHARACTER", Kind::Text},
    {"NCHAR", Kind::Text},
    {"NVARCHAR", Kind::Text},
    {"NATIONAL CHAR", Kind::Text},
    {"NATIONAL CHARACTER", Kind::Text},
    {"NTEXT", Kind::Text},
    {"STRING", Kind::Text},
    {"ALPHANUMERIC", Kind::Text},
    {"MEMO", Kind::Text},
    {"NOTE", Kind::Text},
    {"LONGTEXT", Kind::Text},
    {"LONGCHAR", Kind::Text},
    {"CLOB", Kind::Text},

    {"BYTE", Kind::Whole, 0, 255},
    {"TINYINT", Kind::Whole, 0, 255},
    {"INTEGER1", Kind::Whole, 0, 255},
    {"SHORT", Kind::Whole, kInt16Min, kInt16Max},
    {"SMALLINT", Kind::Whole, kInt16Min, kInt16Max},
    {"INTEGER2", Kind::Whole, kInt16Min, kInt16Max},
    {"INT", Kind::Whole, kInt32Min, kInt32Max},
    {"INTEGER", Kind::Whole, kInt32Min, kInt32Max},
    {"INTEGER4", Kind::Whole, kInt32Min, kInt32Max},
    {"LONG", Kind::Whole, kInt32Min, kInt32Max},
    {"COUNTER", Kind::Whole, kInt32Min, kInt32Max},
    {"AUTOINCREMENT", Kind::Whole, kInt32Min, kInt32Max},
    {"BIGINT", Kind::Whole, kInt64Min, kInt64Max},

    {"REAL", Kind::Number},
    {"SINGLE", Kind::Number},
    {"FLOAT", Kind::Number},
    {"FLOAT4", Kind::Number},
    {"FLOAT8", Kind::Number},
    {"DOUBLE", Kind::Number},
    {"DOUBLE PRECISION", Kind::Number},
    {"NUMBER", Kind::Number},
    {"NUMERIC", Kind::Number},
    {"DECIMAL", Kind::Number},
    {"DEC", Kind::Number},
    {"CURRENCY", Kind::Number},
    {"MONEY", Kind::Number},

    {"BIT", Kind::YesNo},
    {"BOOLEAN", Kind::YesNo},
    {"BOOL", Kind::YesNo},
    {"YESNO", Kind::YesNo},
    {"LOGICAL", Kind::YesNo},
    {"LOGICAL1", Kind::YesNo},

    {"DATE", Kind::Date},
    {"DATETIME", Kind::Date},
    {"TIME", Kind::Date},
    {"TIMESTAMP", Kind::Date},
};

struct YesNoWord
{
    const char *word;
    qint64 value;
};

const YesNoWord kYesNoWords[] = {
    {"true", 1}, {"false", 0}, {"yes", 1}, {"no", 0}, {"on", 1}, {"off", 0}, {"-1", 1}, {"0", 0}, {"1", 1},
};

const char *const kDateFormats[] = {"yyyy-MM-dd", "M/d/yyyy"};
const char *const kTimeFormats[] = {"H:mm:ss", "H:mm", "h:mm:ss AP", "h:mm AP", "h:mm:ssAP", "h:mmAP"};

QDate ParseDate(const QString &text)
{
    for (const char *format : kDateFormats) {
        const QDate date = QDate::fromString(text, QLatin1String(format));
        if (date.isValid())
            return date;
    }
    return {};
}

QTime ParseTime(const QString &text)
{
    for (const char *format : kTimeFormats) {
        const QTime time = QTime::fromString(text, QLatin1String(format));
        if (time.isValid())
            return time;
    }
    return {};
}

// Digits with an optional sign.
bool IsWholeNumberText(const QString &text)
{
    const qsizetype start = (text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'))) ? 1 : 0;
    if (text.size() == start)
        return false;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return false;
    }
    return true;
}

// The number written by the count digits of text from at on; -1 when they
// are not all digits.
int DigitsAt(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// A time stored as HH:mm:ss from at on, as h:mm:ss AM/PM; empty if it is none.
std::string TwelveHourTime(std::string_view text, std::size_t at)
{
    const int hours = DigitsAt(text, at, 2);
    const int minutes = DigitsAt(text, at + 3, 2);
    const int seconds = DigitsAt(text, at + 6, 2);
    if (text.size() != at + 8 || text[at + 2] != ':' || text[at + 5] != ':' || !QTime::isValid(hours, minutes, seconds))
        return {};
    char shown[24];
    std::snprintf(shown, sizeof shown, "%d:%02d:%02d %s", hours % 12 == 0 ? 12 : hours % 12, minutes, seconds, hours < 12 ? "AM" : "PM");
    return shown;
}

FieldConversion::Result Refuse(const QString &reason)
{
    return {std::monostate{}, reason};
}

} // namespace

FieldConversion::FieldConversion(const QString &declaredType)
{
    const qsizetype open = declaredType.indexOf(QLatin1Char('('));
    const QString name = declaredType.left(open).simplified().toUpper();
    for (const TypeName &type : kTypeNames) {
        if (name == QLatin1String(type.name)) {
            kind_ = type.kind;
            min_ = type.min;
            max_ = type.max;
            break;
        }
    }
    if (kind_ == Kind::Text && open >= 0) {
        const qsizetype close = declaredType.indexOf(QLatin1Char(')'), open);
        bool ok = false;
        const qint64 size = declaredType.mid(open + 1, close - open - 1).section(QLatin1Char(','), 0, 0).trimmed().toLongLong(&ok);
        if (ok && size >= 0)
            maxLength_ = size;
    }
}

FieldConversion::Result FieldConversion::Convert(const QString &text) const
{
    switch (kind_) {
    case Kind::AsIs:
        return {text, {}};
    case Kind::Text:
        return ToText(text);
    default:
        break;
    }
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {std::monostate{}, {}};
    switch (kind_) {
    case Kind::Whole:
        return ToWhole(trimmed);
    case Kind::Number:
        return ToNumber(trimmed);
    case Kind::YesNo:
        return ToYesNo(trimmed);
    case Kind::Date:
        return ToDate(trimmed);
    default:
        return {text, {}};
    }
}

FieldConversion::Result FieldConversion::ToText(const QString &text) const
{
    if (maxLength_ >= 0) {
        // Characters are counted in place: a value may be as long as an
        // import line. A surrogate pair is one character.
        qint64 characters = text.size();
        for (qsizetype i = 1; i < text.size(); ++i) {
            if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate())
                --characters;
        }
        if (characters > maxLength_)
            return Refuse(QStringLiteral("longer than %1 characters").arg(maxLength_));
    }
    return {text, {}};
}

FieldConversion::Result FieldConversion::ToWhole(const QString &text) const
{
    if (!IsWholeNumberText(text))
        return Refuse(QStringLiteral("not a whole number"));
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < min_ || value > max_)
        return Refuse(QStringLiteral("outside %1..%2").arg(min_).arg(max_));
    return {value, {}};
}

FieldConversion::Result FieldConversion::ToNumber(const QString &text)
{
    bool ok = false;
    if (IsWholeNumberText(text)) {
        const qint64 whole = text.toLongLong(&ok);
        if (ok)
            return {whole, {}};
    }
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return Refuse(QStringLiteral("not a number"));
    return {value, {}};
}

FieldConversion::Result FieldConversion::ToYesNo(const QString &text)
{
    for (const YesNoWord &word : kYesNoWords) {
        if (text.compare(QLatin1String(word.word), Qt::CaseInsensitive) == 0)
            return {word.value, {}};
    }
    return Refuse(QStringLiteral("not a yes/no value"));
}

FieldConversion::Result FieldConversion::ToDate(const QString &text)
{
    const QString timeAlone = QStringLiteral("HH:mm:ss");
    if (const QTime time = ParseTime(text); time.isValid())
        return {time.toString(timeAlone), {}};

    // The date ends at the ISO 'T' or at the first blank.
    qsizetype split = text.indexOf(QLatin1Char('T'));
    if (split < 0)
        split = text.indexOf(QLatin1Char(' '));
    const QDate date = ParseDate(text.left(split));
    if (!date.isValid())
        return Refuse(QStringLiteral("not a date"));
    if (split < 0)
        return {date.toString(QStringLiteral("yyyy-MM-dd")), {}};
    const QTime time = ParseTime(text.mid(split + 1).trimmed());
    if (!time.isValid())
        return Refuse(QStringLiteral("not a date"));
    return {date.toString(QStringLiteral("yyyy-MM-dd ")) + time.toString(timeAlone), {}};
}

std::string FieldConversion::NumberSearchText(double stored)
{
    // Plain decimals as far as anyone types them so; to_chars gives the
    // shortest digits that read back as the same number.
    const double magnitude = std::fabs(stored);
    const bool plain = magnitude == 0 || (magnitude >= 1e-7 && magnitude < 1e21);
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, stored, plain ? std::chars_format::fixed : std::chars_format::scientific);
    return std::string(text, written.ptr);
}

std::string FieldConversion::DateSearchText(std::string_view stored)
{
    if (stored.size() == 8)
        return TwelveHourTime(stored, 0);
    // yyyy-MM-dd, optionally followed by a blank or a 'T' and HH:mm:ss.
    const int year = DigitsAt(stored, 0, 4);
    const int month = DigitsAt(stored, 5, 2);
    const int day = DigitsAt(stored, 8, 2);
    if (stored.size() < 10 || stored[4] != '-' || stored[7] != '-' || !QDate::isValid(year, month, day))
        return {};
    char date[24];
    std::snprintf(date, sizeof date, "%d/%d/%04d", month, day, year);
    if (stored.size() == 10)
        return date;
    const std::string time = TwelveHourTime(stored, 11);
    if (time.empty() || (stored[10] != ' ' && stored[10] != 'T'))
        return {};
    return date + (' ' + time);
}
