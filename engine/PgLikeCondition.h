#pragma once

#include "LikePattern.h"

#include <QByteArray>

// How a Like pattern narrows a search on the server: a regular expression
// for PostgreSQL's ~ operator (advanced syntax, compared under the "C"
// collation) that every value the pattern matches also matches.
//
// The server does not decide a match; LikePattern does, in the tool, for the
// rows the server sends. A second matcher in SQL, with the server's own idea
// of letter case (which follows the database's collation and its version of
// Unicode), would drift from the file store's; a condition that may only
// let through too much cannot make the two stores answer differently, and
// the one matcher is the one its tests and fuzz target hold to the rules.
// It lets through little more than the matches: wildcards become their
// regular-expression forms, an ASCII character becomes the class of every
// character LikePattern takes for it (k also takes the Kelvin sign, s the
// long s), and only a non-ASCII character or a list becomes "any character".
//
// Empty for a pattern too long to be worth a regular expression on the
// server (it could exceed the server's limits); the server then sends every
// non-NULL value.
QByteArray ServerRegex(const LikePattern &pattern);

// For a pattern without wildcards or lists, made of ASCII characters: every
// value it matches, when there are at most `most` of them (each letter in
// either case, k also the Kelvin sign, s also the long s), as the text of a
// PostgreSQL array for "= ANY": a condition that an index of the column can
// answer, where the regular expression makes the server read every row.
// Otherwise empty.
QByteArray ServerValues(const LikePattern &pattern, int most = 256);

// True when ServerValues(pattern, most) is not empty, without making it.
bool HasServerValues(const LikePattern &pattern, int most = 256);
