#pragma once

#include "LikePattern.h"

#include <QString>

// How a Like pattern narrows a pass over the card table in SQLite: a pattern
// for SQLite's own LIKE (no ESCAPE) that every value the pattern matches by
// its SQLite text also matches, so that SQLite turns most records away in C
// and only the rest reach LikePattern, which still decides each one.
//
// It is the pattern's literal characters up to the first that SQLite's LIKE
// would not take exactly as LikePattern does, followed by '%': SQLite folds
// the case of ASCII letters only, so the literal ends at the first character
// outside printable ASCII, at k and s (whose literals also take the Kelvin
// sign and the long s), and at '_', SQLite's one-character wildcard. Empty
// when nothing is left: the pass then cannot be narrowed.
//
// A value's other search text (a real number's written form, a date field's
// date) is not its SQLite text: the pass must let those values through.
QString SqliteLikeCondition(const LikePattern &pattern);

// Whether a column of the declared type has TEXT affinity, by SQLite's
// rules: it then holds no number, only texts, blobs and NULL.
bool HoldsNoNumbers(const QString &declaredType);
