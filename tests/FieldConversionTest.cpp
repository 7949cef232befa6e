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

const Case kCases[] = {
    // text: at most n characters
    {"TEXT(5)",          "abcde",                   "text 'abcde'"},
    {"TEXT(5)",          "abcdef",                  kRefused},
    {"VARCHAR(3)",       "äöü",                     "text 'äöü'"},
    {"varchar ( 3 )",    "abcd",                    kRefused},
    {"CHAR(2)",          "",                        "text ''"},
    {"TEXT(5)",          " ab ",                    "text ' ab '"},
    {"TEXT",             "no limit without a size", "text 'no limit without a size'"},
    {"MEMO",             "x",                       "text 'x'"},
    {"LONGTEXT",         "",                        "text ''"},
    // whole numbers in the type's range
    {"BYTE",             "255",                     "int 255"},
    {"BYTE",             "256",                     kRefused},
    {"BYTE",             "-1",                      kRefused},
    {"SHORT",            "-32768",                  "int -32768"},
    {"SMALLINT",         "32768",                   kRefused},
    {"INTEGER",          "2147483647",              "int 2147483647"},
    {"LONG",             "2147483648",              kRefused},
    {"INT",              " 42 ",                    "int 42"},
    {"INTEGER",          "+7",                      "int 7"},
    {"INTEGER",          "12.5",                    kRefused},
    {"INTEGER",          "12.0",                    kRefused},
    {"INTEGER",          "abc",                     kRefused},
    {"INTEGER",          "",                        "NULL"},
    {"INTEGER",          "  ",                      "NULL"},
    {"BIGINT",           "9223372036854775807",     "int 9223372036854775807"},
    {"BIGINT",           "9223372036854775808",     kRefused},
    // numbers
    {"REAL",             "1.5",                     "real 1.5"},
    {"DOUBLE",           "1e3",                     "real 1000"},
    {"CURRENCY",         "12",                      "int 12"},
    {"DECIMAL(10,2)",    "-12.34",                  "real -12.34"},
    {"NUMERIC",          "12,5",                    kRefused},
    {"FLOAT",            "inf",                     kRefused},
    {"SINGLE",           "",                        "NULL"},
    // yes/no
    {"BIT",              "True",                    "int 1"},
    {"BOOLEAN",          "no",                      "int 0"},
    {"YESNO",            "OFF",                     "int 0"},
    {"YESNO",            "on",                      "int 1"},
    {"BIT",              "-1",                      "int 1"},
    {"BIT",              "2",                       kRefused},
    {"BIT",              "",                        "NULL"},
    // dates
    {"DATE",             "2024-01-05",              "text '2024-01-05'"},
    {"DATETIME",         "2024-01-05T13:45",        "text '2024-01-05 13:45:00'"},
    {"DATE",             "1/5/2024",                "text '2024-01-05'"},
    {"DATETIME",         "12/31/2024 3:07:09 PM",   "text '2024-12-31 15:07:09'"},
    {"TIME",             "14:30",                   "text '14:30:00'"},
    {"DATE",             "2/30/2024",               kRefused},
    {"DATE",             "2024-01-05 25:00",        kRefused},
    {"DATE",             "tomorrow",                kRefused},
    {"DATE",             "",                        "NULL"},
    // unknown or no declared type: as it is
    {"",                 "anything",                "text 'anything'"},
    {"",                 "",                        "text ''"},
    {"GUID",             " 12 ",                    "text ' 12 '"},
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

TEST(FieldConversionTest, RefusalSaysWhy)
{
    EXPECT_EQ(FieldConversion(QStringLiteral("TEXT(3)")).Convert(QStringLiteral("abcd")).refusal, QStringLiteral("longer than 3 characters"));
    EXPECT_EQ(FieldConversion(QStringLiteral("BYTE")).Convert(QStringLiteral("300")).refusal, QStringLiteral("outside 0..255"));
}

} // namespace
