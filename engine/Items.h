#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Items of an import line or a list entry: the runs of text between
// delimiters, numbered from 0. No quoting, no trimming; two delimiters in a
// row give an empty item, a delimiter at the end a last empty item. A
// delimiter of several characters splits at each whole occurrence; an empty
// delimiter does not split.
QStringList SplitItems(const QString &line, const QString &delimiter);

// The item numbered n; a number beyond the last item, or below 0, gives "".
QString ItemAt(const QStringList &items, long long n);

// A whole number written in decimal with optional blanks around it and an
// optional sign ("2", " 2 ", "-0", "+7"); nullopt for anything else,
// including "", "1e3", "2.0" and numbers beyond 64 bits.
std::optional<long long> ParseWholeNumber(const QString &text);

// Any decimal number, blanks around it allowed ("2", " 3", "2.0", "2.5",
// "1e3"), rounded to a whole number, halves to the even one; nullopt for
// "", text that is no number, and numbers beyond 64 bits.
std::optional<long long> RoundToWholeNumber(const QString &text);
