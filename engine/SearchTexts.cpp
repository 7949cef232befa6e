#include "SearchTexts.h"

#include "FieldConversion.h"
#include "Sqlite.h"

#include <new>

template <typename Number, typename Text>
void SearchTexts::Read(int type, Number number, Text text, bool dateField)
{
    if (type == SQLITE_NULL) {
        null_ = true;
        return;
    }
    // Read before the text, which converts the value in place.
    if (type == SQLITE_FLOAT)
        other_ = FieldConversion::NumberSearchText(number());
    const std::optional<std::string_view> own = text();
    if (!own)
        throw std::bad_alloc();
    own_ = *own;
    if (type == SQLITE_TEXT && dateField)
        other_ = FieldConversion::DateSearchText(own_);
    if (other_ == own_)
        other_.clear();
}

SearchTexts::SearchTexts(sqlite3_value *value, bool dateField)
{
    Read(sqlite3_value_type(value), [&] { return sqlite3_value_double(value); }, [&] { return sqlite::ArgumentText(value); }, dateField);
}

SearchTexts::SearchTexts(sqlite3_stmt *row, int column, bool dateField)
{
    Read(sqlite3_column_type(row, column), [&] { return sqlite3_column_double(row, column); },
         [&] { return sqlite::ColumnText(row, column); }, dateField);
}
