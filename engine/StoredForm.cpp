#include "StoredForm.h"

#include "SearchTexts.h"

#include <variant>

namespace {

// kvr_texts(value, dateField): the value's SearchTexts, its own text first,
// then the byte 0xFF and the other text when there is one; NULL for NULL.
void TextsFunction(sqlite3_context *context, int, sqlite3_value **args)
{
    try {
        const SearchTexts texts(args[0], sqlite3_value_int(args[1]) != 0);
        if (texts.IsNull()) {
            sqlite3_result_null(context);
            return;
        }
        std::string joined(texts.Own());
        if (!texts.Other().empty())
            joined += '\xFF' + texts.Other();
        sqlite3_result_blob64(context, joined.data(), joined.size(), SQLITE_TRANSIENT);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

} // namespace

const QByteArray &StoredForm::Table(const QString &declaredType)
{
    if (!db_) {
        db_.emplace(sqlite::Database::OpenMemory());
        db_->CreateFunction("kvr_texts", 2, nullptr, TextsFunction);
    }
    auto found = tables_.find(declaredType);
    if (found != tables_.end())
        return found->second;
    const QByteArray name = "kvr_form" + QByteArray::number(qulonglong(tables_.size()));
    // The type as the card table declares it gives the column its affinity.
    db_->Execute("CREATE TABLE " + name + "(v " + declaredType.toUtf8() + ")");
    return tables_.emplace(declaredType, name).first->second;
}

std::vector<std::string> StoredForm::Texts(const QString &declaredType, bool dateField, const FieldValue &value)
{
    const QByteArray &table = Table(declaredType);
    db_->Execute("DELETE FROM " + table);
    sqlite::Statement &insert = db_->Cached("INSERT INTO " + table + " VALUES (?1)");
    insert.Bind(1, value);
    insert.Execute();

    std::vector<std::string> texts;
    sqlite::Statement &read = db_->Cached("SELECT kvr_texts(v, ?1) FROM " + table + " WHERE v IS NOT NULL");
    read.Bind(1, qint64(dateField ? 1 : 0)).ForEachRow([&](const sqlite::Statement &row) {
        const std::string_view joined = row.Blob(0);
        const std::size_t split = joined.find('\xFF');
        texts.emplace_back(joined.substr(0, split));
        if (split != std::string_view::npos)
            texts.emplace_back(joined.substr(split + 1));
    });
    return texts;
}
