#pragma once

// The data module's FindDialog statement and the values of its parameters, in plain C++: the
// command line's quick find loads no Qt library and runs the very statement the find window and
// the full tool run. FindCriteria turns these into the data module's query and its parameters.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How an entry's size must compare with the number of KB given.
enum class TSizeRelation {
    None,    // no size condition
    Equal,   // exactly that size
    AtLeast, // larger than it
    AtMost,  // smaller than it
};

namespace FindStatements {

// The columns of a found row, and the entries joined with their volumes and types they come from.
extern const char *const FindColumns;
extern const char *const EntriesWithVolumeAndType;
// FindDialog's conditions other than the name's and the description's, which each engine words
// for its own indexes.
extern const char *const OtherConditions;

// The lines of FindDialog's statement; see FindDialogSql for what its parameters mean.
const std::vector<std::string> &DialogLines();

// Whether a file type's picture is one for volumes: the type's ImageID as its one parameter, a row
// whose first column is not 0 when it is.
extern const char *const VolumePictureSql;

// A day of the calendar.
struct TDay
{
    int Year = 0;
    int Month = 0;
    int Day = 0;
};

// A search in plain values, each as FindDialog's parameters take it.
struct TSearch
{
    // UTF-8, blanks at either end already removed; none: any name.
    std::optional<std::string> Name;
    bool WholeMatch = false;
    std::optional<int> VolumeID;
    std::optional<int> TypeImageID;
    bool TypeIsVolumePicture = false;
    // Modified from the first day's start to the last one's last millisecond.
    std::optional<TDay> From;
    std::optional<TDay> To;
    TSizeRelation SizeRelation = TSizeRelation::None;
    int64_t SizeBytes = 0;
    // A query of the descriptions' word index (DescriptionQuery); empty: no condition.
    std::string TextQuery;
};

// One parameter of FindDialog and the value a search gives it.
struct TParameter
{
    enum class TKind {
        Switch,   // Flag; true turns its condition off
        Text,     // Text, UTF-8
        Null,     // no value
        Integer,  // Number, 32 bits
        LargeInt, // Number, 64 bits
        DayStart, // Day at 00:00:00.000
        DayEnd,   // Day at 23:59:59.999
    };
    const char *Name = ""; // without its colon
    TKind Kind = TKind::Null;
    bool Flag = true;
    std::string Text;
    int64_t Number = 0;
    TDay Day;
};

// Every switch of FindDialog and the text, then the values the search's conditions compare with;
// the values of conditions switched off are left as they were.
std::vector<TParameter> Parameters(const TSearch &search);

// The number of KB as bytes. Beyond what 64 bits of bytes hold, the bound stays at the largest size
// there can be, which no entry passes.
int64_t SizeInBytes(int64_t kb);

// The query of the descriptions' word index that finds the descriptions holding every word of
// text, the last one as the start of a word; empty when text holds no word. isWordCharacter tells
// which characters words are made of, as the index reads them.
std::string DescriptionQuery(std::u32string_view text, bool (*isWordCharacter)(char32_t));

} // namespace FindStatements
