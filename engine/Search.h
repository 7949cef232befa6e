#pragma once

#include "LikePattern.h"

#include <QString>

// What a walk of the card store looks for: the records whose search field
// matches the search value, a Like pattern compiled once. The field is named
// as the operator named it; the store finds it without regard to case.
class Search
{
public:
    // Throws StoreFailure when the value cannot be searched for: it holds a
    // single quote (which ends the quoted pattern of the update criteria
    // early), or it is not a valid pattern.
    Search(const QString &field, const QString &value);

    const QString &Field() const { return field_; }
    const QString &Value() const { return pattern_.Text(); }
    const LikePattern &Pattern() const { return pattern_; }

private:
    static const QString &Checked(const QString &field, const QString &value);

    QString field_;
    LikePattern pattern_;
};
