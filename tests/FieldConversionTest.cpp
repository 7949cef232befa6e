#include "FieldConversion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char *const kRefused = "refused";

struct Case
{
    const char *declaredType;
    const char *text; // UTF-8
    const char *stored; // Shown(): "NULL", "int 5", "real 1.5", "text 'abc'" or kRefused
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
    // numbers: whole ones as whole numbers
    {"DOUBLE", "1e3", "real 1000"}, {"CURRENCY", "12", "int 12"}, {"DECIMAL(10,2)", "-12.34", "real -12.34"},
    {"NUMERIC", "12,5", kRefused}, {"FLOAT", "inf", kRefused},
    // yes/no
    {"BIT", "True", "int 1"}, {"YESNO", "OFF", "int 0"}, {"BIT", "-1", "int 1"}, {"BIT", "2", kRefused},
    // dates
    {"DATE", "2024-01-05", "text '2024-01-05'"}, {"DATETIME", "2024-01-05T13:45", "text '2024-01-05 13:45:00'"},
    {"DATE", "1/5/2024", "text '2024-01-05'"}, {"DATETIME", "12/31/2024 3:07:09 PM", "text '2024-12-31 15:07:09'"},
    {"TIME", "14:30", "text '14:30:00'"}, {"DATE", "2/30/2024", kRefused}, {"DATE", "2024-01-05 25:00", kRefused},
    // unknown or no declared type: as it is
    {"", "", "text ''"}, {"GUID", " 12 ", "text ' 12 '"},
};

std::string Shown(const FieldConversion::Result &result)
{
    if (result.Refused())
        return kRefused;
    struct Show
    {
        std::string operator()(std::monostate) const { return "NULL"; }
        std::string operator()(qint64 v) const { return "int " + std::to_string(v); }
        std::string operator()(double v) const { return "real " + QString::number(v).toStdString(); }
        std::string operator()(const QString &v) const { return "text '" + v.toStdString() + "'"; }
    };
    return std::visit(Show{}, result.value);
}

TEST(FieldConversionTest, ConvertsByDeclaredType)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(std::string(c.declaredType) + " <- '" + c.text + "'");
        const FieldConversion conversion(QString::fromUtf8(c.declaredType));
        EXPECT_EQ(Shown(conversion.Convert(QString::fromUtf8(c.text))), c.stored);
    }
}

} // namespace
