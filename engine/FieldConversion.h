#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <variant>

// A value as it is stored: NULL, a whole number, a real number or a text.
using FieldValue = std::variant<std::monostate, qint64, double, QString>;

// How a text written into a field becomes the field's value, decided by the
// field's declared type, refusing what the field cannot hold:
//
//   text      TEXT(n) VARCHAR(n) CHAR(n) MEMO ...   at most n characters (no n: any)
//   whole     BYTE 0..255, SHORT/SMALLINT 16-bit,   digits with an optional sign,
//             INT/INTEGER/LONG 32-bit, BIGINT        within the type's range
//   number    REAL DOUBLE FLOAT SINGLE NUMERIC       any finite decimal number;
//             DECIMAL CURRENCY ...                   whole ones stored as whole numbers
//   yes/no    BIT BOOLEAN YESNO ...                  True/False Yes/No On/Off -1/0/1, as 1 or 0
//   date      DATE DATETIME TIME ...                 yyyy-MM-dd or M/d/yyyy, optionally followed
//                                                    by a time (24-hour or with AM/PM), or a time
//                                                    alone; stored as "yyyy-MM-dd",
//                                                    "yyyy-MM-dd HH:mm:ss" or "HH:mm:ss"
//   any other or no declared type: the text as it is.
//
// Type names ignore letter case; of the size in parentheses only a text
// type's length counts. Surrounding blanks are ignored for all but text
// fields and those of unknown type. An empty text is "" in a text field or one
// of unknown type; an empty or blank text is NULL in all others.
class FieldConversion
{
public:
    enum class Kind { AsIs, Text, Whole, Number, YesNo, Date };

    // The value to store, or the reason why the field refuses the text.
    struct Result
    {
        FieldValue value;
        QString refusal;
        bool Refused() const { return !refusal.isEmpty(); }
    };

    explicit FieldConversion(const QString &declaredType);

    Result Convert(const QString &text) const;

    Kind TypeKind() const { return kind_; }

    // The texts by which a search finds a stored value besides SQLite's own
    // text of it, so that a value is found by the text that wrote it: a real
    // number's shortest decimal text (100, 2.5, -0.25; 1e+21 beyond plain
    // decimals), and a date field's stored date as M/d/yyyy followed by
    // " h:mm:ss AM" or " PM" when it holds a time, or its stored time alone as
    // h:mm:ss AM/PM. DateSearchText is empty for a text that is no stored date
    // or time.
    static std::string NumberSearchText(double stored);
    static std::string DateSearchText(std::string_view stored);

private:
    Result ToText(const QString &text) const;
    Result ToWhole(const QString &text) const;
    static Result ToNumber(const QString &text);
    static Result ToYesNo(const QString &text);
    static Result ToDate(const QString &text);

    Kind kind_ = Kind::AsIs;
    qint64 maxLength_ = -1; // text: -1 for no limit
    qint64 min_ = 0;        // whole: the range
    qint64 max_ = 0;
};
