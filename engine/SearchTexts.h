#pragma once

#include <string>
#include <string_view>

struct sqlite3_stmt;
struct sqlite3_value;

// The texts by which a search of the card table finds a stored value, read
// from an argument of an SQL function: SQLite's own text of it and, where
// there is one, FieldConversion's search text, so that a value is found both
// by what the file holds and by the text that wrote it. A value matches when
// either text does; NULL has none and never matches.
class SearchTexts
{
public:
    // dateField: the field is a date field by its declared type. Throws
    // std::bad_alloc when SQLite cannot make the value's text.
    SearchTexts(sqlite3_value *value, bool dateField);
    // The same of a column of the statement's current row; valid until the
    // statement steps on.
    SearchTexts(sqlite3_stmt *row, int column, bool dateField);

    bool IsNull() const { return null_; }
    std::string_view Own() const { return own_; }
    // Empty when the value has no other text, or none that differs.
    const std::string &Other() const { return other_; }

private:
    // type: SQLite's type of the value; number() and text() read it.
    template <typename Number, typename Text>
    void Read(int type, Number number, Text text, bool dateField);

    bool null_ = false;
    std::string_view own_;
    std::string other_;
};
