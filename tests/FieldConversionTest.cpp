#include "FieldConversion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char *const kRefused = "refused";

struct Case
{
    const char *declaredType;
    const char *text; // UTF-8
    const char *stored; // Shown(): "NULL", "int 5", "real 1.5 or '1.5'", "text 'abc'" or kRefused
};

// One line per rule.
const Case kCases[] = {
    // text: at most n characters, blanks kept
    {"TEXT(5)", "abcde", "text 'abcde'"}, {"TEXT(5)", "abcdef", kRefused}, {"VARCHAR(3)", "äöü", "text 'äöü'"},
    {"varchar ( 3 )", "abcd", kRefused}, {"TEXT(5)", " ab ", "text ' ab '"}, {"CHAR(2)", "", "text ''"},
    {"TEXT", "no limit without a size", "text 'no limit without a size'"},
    // whole numbers, digits with an optional sign, in the type's range
    {"BYTE", "255", "int 255"}, {"BYTE", "256", kRefused}, {"BYTE", "-1", kRefused},
    {"SHORT", "-32768", "int -32768"}, {"SMALLINT", "32768", kRefused},
    {"INTEGER", "2147483647", "int 2147483647"}, {"LONG", "2147483648", kRefused},
    {"BIGINT", "9223372036854775807", "int 9223372036854775807"}, {"BIGINT", "9223372036854775808", kRefused},
    {"INT", " +42 ", "int 42"}, {"INTEGER", "12.0", kRefused}, {"INTEGER", "  ", "NULL"},
    // numbers: whole ones as whole numbers; a real one is also found by its shortest text
    {"DOUBLE", "1e3", "real 1000 or '1000'"}, {"CURRENCY", "12", "int 12"}, {"DECIMAL(10,2)", "-12.34", "real -12.34 or '-12.34'"},
    {"NUMERIC", "12,5", kRefused}, {"FLOAT", "inf", kRefused}, {"REAL", "1e21", "real 1e+21 or '1e+21'"},
    // yes/no
    {"BIT", "True", "int 1"}, {"YESNO", "OFF", "int 0"}, {"BIT", "-1", "int 1"}, {"BIT", "2", kRefused},
    // dates, also found as M/d/yyyy h:mm:ss AM/PM
    {"DATE", "2024-01-05", "text '2024-01-05' or '1/5/2024'"}, {"DATETIME", "2024-01-05T00:45", "text '2024-01-05 00:45:00' or '1/5/2024 12:45:00 AM'"},
    {"DATE", "1/5/2024", "text '2024-01-05' or '1/5/2024'"}, {"DATETIME", "12/31/2024 3:07:09 PM", "text '2024-12-31 15:07:09' or '12/31/2024 3:07:09 PM'"},
    {"TIME", "14:30", "text '14:30:00' or '2:30:00 PM'"}, {"DATE", "2/30/2024", kRefused}, {"DATE", "2024-01-05 25:00", kRefused},
    // unknown or no declared type: as it is
    {"", "", "text ''"}, {"GUID", " 12 ", "text ' 12 '"},
};

std::string Shown(const FieldConversion::Result &result, FieldConversion::Kind kind)
{
    if (result.Refused())
        return kRefused;
    struct Show
    {
        bool dates;
        static std::string Or(const std::string &other) { return other.empty() ? "" : " or '" + other + "'"; }
        std::string operator()(std::monostate) const { return "NULL"; }
        std::string operator()(qint64 v) const { return "int " + std::to_string(v); }
        std::string operator()(double v) const { return "real " + QString::number(v).toStdString() + Or(FieldConversion::NumberSearchText(v)); }
        std::string operator()(const QString &v) const { return "text '" + v.toStdString() + "'" + Or(dates ? FieldConversion::DateSearchText(v.toStdString()) : ""); }
    };
    return std::visit(Show{kind == FieldConversion::Kind::Date}, result.value);
}

TEST(FieldConversionTest, ConvertsByDeclaredType)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(std::string(c.declaredType) + " <- '" + c.text + "'");
        const FieldConversion conversion(QString::fromUtf8(c.declaredType));
        EXPECT_EQ(Shown(conversion.Convert(QString::fromUtf8(c.text)), conversion.TypeKind()), c.stored);
    }
}

} // namespace
