#pragma once

#include "FindStatements.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class TGlobal;
class TQuery;
class TStatement;

// A search of the catalogue as the user puts it: what the find window's fields hold, and what the
// command line's options say. ApplyFindCriteria turns it into the switches and parameters of the
// data module's FindDialog query, so both search alike.
struct TFindCriteria
{
    // As typed. Exactly "*" means any name; any other text, blanks at either end removed, is a
    // pattern with * and ? (or with WholeMatch the whole name), letter case aside.
    QString Name = QStringLiteral("*");
    bool WholeMatch = false;
    // The ID of a catalogued volume (its root entry).
    std::optional<int> VolumeID;
    // The ImageID of a file type. A picture for volumes lets the volume roots in as well, since
    // they are the entries that carry it.
    std::optional<int> TypeImageID;
    bool TypeIsVolumePicture = false;
    // Modified on one of these days, both included, the last one up to its last millisecond.
    struct TDays
    {
        QDate From;
        QDate To;
    };
    std::optional<TDays> Modified;
    TSizeRelation SizeRelation = TSizeRelation::None;
    // A whole number of KB (1,024 bytes). It is read on every search, with a relation or without,
    // so a text that is no number always fails the search.
    QString SizeText = QStringLiteral("0");
    // Words the description must all hold, in any order, letter case and accents aside; the last
    // one may be the start of a word. Punctuation only separates words; no word, no condition.
    QString Text;
};

// The data module's FindDialog statement, for SQLite or for a PostgreSQL server (postgres). Its
// switches t0, t11, t12, t2, t3, t4, t51, t52 and t53
// each turn a condition off while true, and the values name, cd, daten, datek, type and size are
// what those conditions compare with; text, when not NULL, is a query of the descriptions' word
// index (DescriptionQuery) that the description must match; entries that index does not hold
// yet (CatalogSchema::UpdateSearchIndexes) do not match it. Which index the rows are read
// through follows from the parameters alone; the rows are those the conditions select, in the
// order of their IDs, whichever way they are found. On the server, text holds the words
// (DescriptionWords) separated by blanks, and the indexes of PgSearchIndexStatements serve it.
QStringList FindDialogSql(bool postgres = false);

// The words of a description's condition, as the descriptions' index reads them.
QStringList DescriptionWords(const QString &text);
// The query of the descriptions' word index that finds the descriptions holding every word of
// text, the last one as the start of a word; an empty string when text holds no word.
QString DescriptionQuery(const QString &text);

// Closes FindDialog and switches every one of its conditions off (roots left out, no text). On a
// PostgreSQL connection, FindDialog's SQLite text is replaced by the server's first.
void ResetSearchFlags(TGlobal &global);
void ResetSearchFlags(TQuery &findDialog);

// ResetSearchFlags and CatalogSchema::UpdateSearchIndexes, then the switches and parameters of
// FindDialog for the criteria; FindDialog is left closed for the caller to open. Raises EConvertError ("'12a'
// is not a valid integer value") when SizeText is no whole number, and EConvertError for a date range of a
// day that does not exist.
void ApplyFindCriteria(TGlobal &global, const TFindCriteria &criteria);
// The same for a FindDialog query of any connection, without bringing the word indexes up to date.
void ApplyFindCriteria(TQuery &findDialog, const TFindCriteria &criteria);

// Whether a file type's picture is one for volumes.
bool IsVolumePicture(TGlobal &global, int imageId);

// The number of rows FindDialog gives with its current parameters, counted by the engine: reading
// them all through the data set would hold every one in memory.
qint64 FindResultCount(TGlobal &global);
qint64 FindResultCount(TQuery &findDialog);
// The statement that counts the rows of findSql.
QString FindCountSql(const QString &findSql);

// Runs FindDialog's statement with its current parameters and hands each row over, in the
// query's column order, without keeping it: for results too large to hold (the command line). On
// a server the rows come `slice` at a time (TDatabase::ForEachRow).
void ForEachFindResult(TGlobal &global, const std::function<void(const TStatement &row)> &onRow);
void ForEachFindResult(TQuery &findDialog, const std::function<void(const TStatement &row)> &onRow,
                       int slice = 10000);
