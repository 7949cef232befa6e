// How texts become values: what a field stores of a text written into it,
// and the item numbers of list entries. Splitting items, ItemAt and
// ParseWholeNumber are held to their rules by SplitItemsFuzz.
#include "FieldConversion.h"
#include "Items.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

const char *const kRefused = "refused";

// How a result reads in the table below: "NULL", "int 5", "real 1.5 or '1.5'",
// "text 'abc'" (with " or '...'" for a date field's search text) or kRefused.
std::string Shown(const FieldConversion::Result &result, bool dates)
{
    const auto also = [](const std::string &other) { return other.empty() ? std::string() : " or '" + other + "'"; };
    const FieldValue &v = result.value;
    return result.Refused()                       ? kRefused
           : std::holds_alternative<qint64>(v)  ? "int " + std::to_string(std::get<qint64>(v))
           : std::holds_alternative<double>(v)  ? "real " + QString::number(std::get<double>(v)).toStdString() + also(FieldConversion::NumberSearchText(std::get<double>(v)))
           : std::holds_alternative<QString>(v) ? "text '" + std::get<QString>(v).toStdString() + "'" + also(dates ? FieldConversion::DateSearchText(std::get<QString>(v).toStdString()) : "")
                                                : "NULL";
}

TEST(FieldConversionTest, ConvertsByDeclaredType)
{
    const char *const cases[][3] = {  // declared type, text (UTF-8), as stored; one line per rule
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
    for (const auto &[declaredType, text, stored] : cases) {
        const FieldConversion conversion(QString::fromUtf8(declaredType));
        EXPECT_EQ(Shown(conversion.Convert(QString::fromUtf8(text)), conversion.TypeKind() == FieldConversion::Kind::Date), stored)
            << declaredType << " <- '" << text << "'";
    }
}

TEST(RoundToWholeNumber, AnyDecimalNumberRoundedHalfToEven)
{
    const std::pair<const char *, std::optional<long long>> cases[] = {
        {"2", 2}, {" 3 ", 3}, {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"1e3", 1000},
        {"", {}}, {"abc", {}}, {"inf", {}}, {"nan", {}}, {"0x10", {}}, {"1e30", {}},
    };
    for (const auto &[text, value] : cases)
        EXPECT_EQ(RoundToWholeNumber(text), value) << '"' << text << '"';
}

} // namespace
