#include "SqliteLikeCondition.h"

namespace {

// SQLite refuses a LIKE pattern longer than its limit (50,000 bytes by
// default); a shorter literal narrows as well.
constexpr qsizetype kLongestLiteral = 100;

bool TakenAlike(char16_t ch)
{
    if (ch < 0x20 || ch > 0x7E)
        return false;
    switch (ch) {
    case u'k':
    case u'K':
    case u's':
    case u'S':
    case u'_':
        return false;
    default:
        return true;
    }
}

} // namespace

QString SqliteLikeCondition(const LikePattern &pattern)
{
    QString literal;
    for (const QChar ch : pattern.Text()) {
        if (QStringLiteral("*%?#[").contains(ch) || !TakenAlike(ch.unicode()) || literal.size() == kLongestLiteral)
            break;
        literal += ch;
    }
    return literal.isEmpty() ? QString() : literal + QLatin1Char('%');
}

bool HoldsNoNumbers(const QString &declaredType)
{
    const QString type = declaredType.toUpper();
    if (type.contains(QLatin1String("INT")))
        return false;
    return type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) || type.contains(QLatin1String("TEXT"));
}
