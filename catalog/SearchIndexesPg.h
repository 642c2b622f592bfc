#pragma once

#include <QString>

// The words of a text as the server's description index holds them, as an SQL expression of
// text (a column or a parameter): accents dropped, letter case folded in every script, anything
// but letters and digits a blank. The server's own parser would take "readme.txt" or "a-b" as one
// word where the SQLite index takes two. The index and the searches must write it alike, or the
// server cannot use the index.
QString PgIndexedWords(const QString &text);
