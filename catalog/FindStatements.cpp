#include "FindStatements.h"

#include <algorithm>
#include <limits>

namespace FindStatements {

// The columns of a result row.
const char *const FindColumns =
    "SELECT Entries.ID, Entries.Name, CDs.VolumeLabel || ':\\' || IFNULL(FullPath, '') AS InFolder, Size,\n"
    "       Images.Description AS Type, Modified, Images.ImageID, Entries.Description,\n"
    "       CDs.VolumeLabel AS VL, CDs.SerialNum AS SN, Parent\n";

const char *const EntriesWithVolumeAndType =
    "FROM (Entries INNER JOIN CDs ON Entries.CD = CDs.ID) INNER JOIN Images ON Entries.ImageID = "
    "Images.ImageID\n";

const char *const OtherConditions = "  AND (NOT :t0 OR (Entries.Parent <> 0))\n"
                                    "  AND (:t2 OR (Entries.CD = :cd))\n"
                                    "  AND (:t3 OR (Modified BETWEEN :daten AND :datek))\n"
                                    "  AND (:t4 OR Entries.ImageID = :type)\n"
                                    "  AND (:t51 OR Size = :size)\n"
                                    "  AND (:t52 OR Size < :size)\n"
                                    "  AND (:t53 OR Size > :size)\n";

namespace {

// What every row must pass, whichever index found it. Name patterns use * and ? and ignore letter
// case (ASCII, as the engine's LIKE and NOCASE do); % and _ typed by the user are themselves.
// withText leaves out the description's condition, for the rows found by it.
std::string findConditions(bool withText)
{
    std::string conditions =
        "  AND (:t12 OR (Entries.Name LIKE replace(replace(replace(replace(replace(:name, "
        "'\\', '\\\\'), '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_') ESCAPE '\\'))\n"
        "  AND (:t11 OR (Entries.Name = :name COLLATE NOCASE))\n" +
        std::string(OtherConditions);
    if (withText)
        conditions += "  AND (:text IS NULL OR Entries.ID IN "
                      "(SELECT rowid FROM EntryTexts WHERE EntryTexts MATCH :text))\n";
    return conditions;
}

std::vector<std::string> dialogLines()
{
    // Every row of the catalogue could be read and tested, as the scan below does; the indexes
    // spare that. The five ways below are exclusive, chosen from the parameters alone (way), so
    // that the engine tests the choice once, before it reads anything:
    // - a whole name: looked up among the names in order (WholeNames), then the entries it does
    //   not hold yet;
    // - a name pattern holding three characters in a row without * or ?: the names holding such
    //   threes are read from the names' index (NameTerms lists them), in the order of IDs, then
    //   the entries it does not hold yet;
    // - otherwise, a description's words: through the descriptions' index (which must be up to
    //   date, see CatalogSchema::UpdateSearchIndexes);
    // - otherwise, every entry.
    // The index only narrows the rows down: each row found is tested on every condition, so the
    // result is what the scan would give. The indexes fold letter case beyond ASCII and the names'
    // one ignores the order of its threes, which only lets more rows through to the tests.
    const std::string way = "(CASE WHEN NOT :t11 THEN 'whole' "
                            "WHEN NOT :t12 AND :name GLOB '*[^*?][^*?][^*?]*' "
                            "THEN 'name' WHEN :text IS NOT NULL THEN 'text' ELSE 'scan' END)";
    return {
        "WITH RECURSIVE",
        "NamePositions(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM NamePositions "
        "WHERE I + 3 <= length(:name)),",
        // The first and last three of each run of characters without * or ? and every third one
        // between: fewer terms to intersect than every three, and nearly as narrow.
        "NameTerms(Terms) AS (SELECT group_concat('\"' || replace(Piece, '\"', '\"\"') || "
        "'\"', ' ') FROM (SELECT I, substr(:name, I, 3) AS Piece FROM NamePositions) "
        "WHERE length(Piece) = 3 AND instr(Piece, '*') = 0 AND instr(Piece, '?') = 0 "
        "AND (I % 3 = 1 OR I = 1 OR substr(:name, I - 1, 1) IN ('*', '?') "
        "OR substr(:name, I + 3, 1) IN ('', '*', '?')))",
        // Every entry, read in order; the name, which most entries fail, is tested first, and the
        // volume and type on the entry itself (the same values as its joined rows'), before its
        // volume and type rows are looked up.
        FindColumns + std::string(EntriesWithVolumeAndType) + "WHERE " + way + " = 'scan'\n" +
            findConditions(true) + "UNION ALL",
        FindColumns +
            std::string("FROM WholeNames CROSS JOIN Entries ON Entries.ID = WholeNames.ID\n"
                        "CROSS JOIN CDs ON Entries.CD = CDs.ID CROSS JOIN Images ON Entries.ImageID = "
                        "Images.ImageID\n"
                        "WHERE ") +
            way + " = 'whole' AND WholeNames.Name = :name\n" + findConditions(true) + "UNION ALL",
        FindColumns +
            std::string("FROM EntryNames CROSS JOIN Entries ON Entries.ID = EntryNames.rowid\n"
                        "CROSS JOIN CDs ON Entries.CD = CDs.ID CROSS JOIN Images ON Entries.ImageID = "
                        "Images.ImageID\n"
                        "WHERE ") +
            way +
            " = 'name' AND EntryNames MATCH "
            "coalesce((SELECT Terms FROM NameTerms), '\"\"')\n" +
            findConditions(true) + "UNION ALL",
        // The entries the names' index does not hold yet come after those it holds, as their IDs do.
        FindColumns + std::string(EntriesWithVolumeAndType) + "WHERE " + way +
            " IN ('whole', 'name') AND Entries.ID > (SELECT UpTo FROM SearchIndexed)\n" +
            findConditions(true) + "UNION ALL",
        FindColumns + std::string(EntriesWithVolumeAndType) + "WHERE " + way +
            " = 'text'\n"
            "  AND Entries.ID IN (SELECT rowid FROM EntryTexts "
            "WHERE EntryTexts MATCH coalesce(:text, '\"\"'))\n" +
            findConditions(false),
    };
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

TParameter parameter(const char *name, TParameter::TKind kind)
{
    TParameter result;
    result.Name = name;
    result.Kind = kind;
    return result;
}

TParameter flag(const char *name, bool value)
{
    TParameter result = parameter(name, TParameter::TKind::Switch);
    result.Flag = value;
    return result;
}

TParameter text(const char *name, const std::string &value)
{
    TParameter result = parameter(name, TParameter::TKind::Text);
    result.Text = value;
    return result;
}

TParameter number(const char *name, TParameter::TKind kind, int64_t value)
{
    TParameter result = parameter(name, kind);
    result.Number = value;
    return result;
}

TParameter day(const char *name, TParameter::TKind kind, const TDay &value)
{
    TParameter result = parameter(name, kind);
    result.Day = value;
    return result;
}

} // namespace

const std::vector<std::string> &DialogLines()
{
    static const std::vector<std::string> lines = dialogLines();
    return lines;
}

const char *const VolumePictureSql = "SELECT CD FROM Images WHERE ImageID = ?";

std::vector<TParameter> Parameters(const TSearch &search)
{
    using K = TParameter::TKind;
    std::vector<TParameter> parameters{
        flag("t0", !(search.TypeImageID && search.TypeIsVolumePicture)),
        flag("t11", !(search.Name && search.WholeMatch)),
        flag("t12", !(search.Name && !search.WholeMatch)),
        flag("t2", !search.VolumeID),
        flag("t3", !(search.From && search.To)),
        flag("t4", !search.TypeImageID),
        flag("t51", search.SizeRelation != TSizeRelation::Equal),
        flag("t52", search.SizeRelation != TSizeRelation::AtMost),
        flag("t53", search.SizeRelation != TSizeRelation::AtLeast),
    };
    parameters.push_back(search.TextQuery.empty() ? parameter("text", K::Null)
                                                  : text("text", search.TextQuery));
    if (search.Name)
        parameters.push_back(text("name", *search.Name));
    if (search.From && search.To) {
        parameters.push_back(day("daten", K::DayStart, *search.From));
        parameters.push_back(day("datek", K::DayEnd, *search.To));
    }
    // The size is read on every search, with a relation or without.
    parameters.push_back(number("size", K::LargeInt, search.SizeBytes));
    if (search.TypeImageID)
        parameters.push_back(number("type", K::Integer, *search.TypeImageID));
    if (search.VolumeID)
        parameters.push_back(number("cd", K::Integer, *search.VolumeID));
    return parameters;
}

int64_t SizeInBytes(int64_t kb)
{
    constexpr int64_t bytesPerKB = 1024;
    constexpr int64_t limit = std::numeric_limits<int64_t>::max() / bytesPerKB;
    return std::clamp(kb, -limit, limit) * bytesPerKB;
}

std::string DescriptionQuery(std::u32string_view text, bool (*isWordCharacter)(char32_t))
{
    std::string query;
    std::string word;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && isWordCharacter(text[i])) {
            appendUtf8(word, text[i]);
        } else if (!word.empty()) {
            if (!query.empty())
                query += ' ';
            query += '"' + word + '"';
            word.clear();
        }
    }
    if (!query.empty())
        query += '*';
    return query;
}

} // namespace FindStatements
