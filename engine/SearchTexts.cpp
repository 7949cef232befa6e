#include "SearchTexts.h"

#include "FieldConversion.h"
#include "Sqlite.h"

#include <new>

SearchTexts::SearchTexts(sqlite3_value *value, bool dateField)
{
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL) {
        null_ = true;
        return;
    }
    // Read before the text, which converts the value in place.
    if (type == SQLITE_FLOAT)
        other_ = FieldConversion::NumberSearchText(sqlite3_value_double(value));
    const std::optional<std::string_view> text = sqlite::ArgumentText(value);
    if (!text)
        throw std::bad_alloc();
    own_ = *text;
    if (type == SQLITE_TEXT && dateField)
        other_ = FieldConversion::DateSearchText(own_);
    if (other_ == own_)
        other_.clear();
}
