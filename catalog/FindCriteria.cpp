#include "FindCriteria.h"

#include "CatalogSchema.h"
#include "Databases.h"
#include "SearchIndexesPg.h"
#include "Statements.h"
#include "dmGlobal.h"

#include <limits>

namespace {

constexpr qint64 BytesPerKB = 1024;

TParam *param(TQuery &findDialog, const char16_t *name)
{
    return findDialog.ParamByName(QString::fromUtf16(name));
}

TDatabase &databaseOf(const TQuery &findDialog)
{
    TDatabase *database = findDialog.Database();
    if (!database)
        throw EDatabaseError(QStringLiteral("FindDialog has no database"));
    return *database;
}

// The number of KB as bytes. Beyond what 64 bits of bytes hold, the bound stays at the largest
// size there can be, which no entry passes.
qint64 sizeInBytes(const QString &text)
{
    bool ok = false;
    const qint64 kb = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    constexpr qint64 limit = std::numeric_limits<qint64>::max() / BytesPerKB;
    return std::clamp(kb, -limit, limit) * BytesPerKB;
}

// FindDialog's statement on its connection, its parameters bound as the data set's parameters
// hold them.
std::shared_ptr<TStatement> boundStatement(TQuery &findDialog, const QString &sql)
{
    std::shared_ptr<TStatement> statement = databaseOf(findDialog).Prepare(sql);
    for (int i = 1; i <= statement->ParameterCount(); ++i)
        if (const TParam *value = findDialog.ParamByName(statement->ParameterName(i).mid(1)))
            statement->Bind(i, value->Value());
    return statement;
}

// The columns of a result row.
const char *const FindColumns =
    "SELECT Entries.ID, Entries.Name, CDs.VolumeLabel || ':\\' || IFNULL(FullPath, '') AS InFolder, Size,\n"
    "       Images.Description AS Type, Modified, Images.ImageID, Entries.Description,\n"
    "       CDs.VolumeLabel AS VL, CDs.SerialNum AS SN, Parent\n";

const char *const EntriesWithVolumeAndType =
    "FROM (Entries INNER JOIN CDs ON Entries.CD = CDs.ID) INNER JOIN Images ON Entries.ImageID = "
    "Images.ImageID\n";

// What every row must pass, whichever index found it. Name patterns use * and ? and ignore letter
// case (ASCII, as the engine's LIKE and NOCASE do); % and _ typed by the user are themselves.
// withText leaves out the description's condition, for the rows found by it.
QString findConditions(bool withText)
{
    QString conditions =
        QStringLiteral("  AND (:t12 OR (Entries.Name LIKE replace(replace(replace(replace(replace(:name, "
                       "'\\', '\\\\'), '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_') ESCAPE '\\'))\n"
                       "  AND (:t11 OR (Entries.Name = :name COLLATE NOCASE))\n"
                       "  AND (NOT :t0 OR (Entries.Parent <> 0))\n"
                       "  AND (:t2 OR (Entries.CD = :cd))\n"
                       "  AND (:t3 OR (Modified BETWEEN :daten AND :datek))\n"
                       "  AND (:t4 OR Entries.ImageID = :type)\n"
                       "  AND (:t51 OR Size = :size)\n"
                       "  AND (:t52 OR Size < :size)\n"
                       "  AND (:t53 OR Size > :size)\n");
    if (withText)
        conditions += QStringLiteral("  AND (:text IS NULL OR Entries.ID IN "
                                     "(SELECT rowid FROM EntryTexts WHERE EntryTexts MATCH :text))\n");
    return conditions;
}

// The same conditions for the PostgreSQL server, each written so that its indexes serve it
// (PgSearchIndexStatements): the statement is planned with the values bound, so a switched-off
// condition falls away and the pattern is a constant. Comparisons are made in the "C" collation,
// which folds ASCII letters only, as SQLite's LIKE and NOCASE do. text holds the words of the
// description's condition separated by blanks, the last one as the start of a word.
QString pgFindConditions()
{
    return QStringLiteral(
               "  AND (:t12 OR (Entries.Name COLLATE \"C\" LIKE "
               "replace(replace(replace(replace(replace(:name, "
               "'\\', '\\\\'), '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_') ESCAPE '\\'))\n"
               "  AND (:t11 OR (lower(Entries.Name COLLATE \"C\") = lower(:name COLLATE \"C\")))\n"
               "  AND (NOT :t0 OR (Entries.Parent <> 0))\n"
               "  AND (:t2 OR (Entries.CD = :cd))\n"
               "  AND (:t3 OR (Modified BETWEEN :daten AND :datek))\n"
               "  AND (:t4 OR Entries.ImageID = :type)\n"
               "  AND (:t51 OR Size = :size)\n"
               "  AND (:t52 OR Size < :size)\n"
               "  AND (:t53 OR Size > :size)\n"
               "  AND (:text IS NULL OR to_tsvector('simple', %1) @@ "
               "to_tsquery('simple', nullif(regexp_replace(trim(%2), ' +', ' & ', 'g'), '') || ':*'))\n")
        .arg(PgIndexedWords(QStringLiteral("Entries.Description")), PgIndexedWords(QStringLiteral(":text")));
}

// A character a word of a description is made of, as the descriptions' index reads them.
bool isWordCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_PrivateUse:
        return true;
    default:
        return QChar::isLetterOrNumber(c);
    }
}

} // namespace

QStringList FindDialogSql(bool postgres)
{
    // The server's indexes need no way chosen ahead: it plans the statement with its values.
    if (postgres)
        return {QString::fromLatin1(FindColumns) + QString::fromLatin1(EntriesWithVolumeAndType) +
                    QStringLiteral("WHERE TRUE\n") + pgFindConditions(),
                QStringLiteral("ORDER BY Entries.ID")};

    // Every row of the catalogue could be read and tested, as the scan below does; the indexes
    // spare that. The four ways below are exclusive, chosen from the parameters alone (way), so
    // that the engine tests the choice once, before it reads anything:
    // - a name pattern, or a whole name, holding three characters in a row without * or ?: the
    //   names holding such threes are read from the names' index (NameTerms lists them), in
    //   the order of IDs, then the entries it does not hold yet;
    // - otherwise, a description's words: through the descriptions' index (which must be up to
    //   date, see CatalogSchema::UpdateSearchIndexes);
    // - otherwise, every entry.
    // The index only narrows the rows down: each row found is tested on every condition, so the
    // result is what the scan would give. The indexes fold letter case beyond ASCII and the names'
    // one ignores the order of its threes, which only lets more rows through to the tests.
    const QString way = QStringLiteral("(CASE WHEN (NOT :t11 OR NOT :t12) AND :name GLOB '*[^*?][^*?][^*?]*' "
                                       "THEN 'name' WHEN :text IS NOT NULL THEN 'text' ELSE 'scan' END)");
    return {
        QStringLiteral("WITH RECURSIVE"),
        QStringLiteral("NamePositions(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM NamePositions "
                       "WHERE I + 3 <= length(:name)),"),
        // The first and last three of each run of characters without * or ? and every third one
        // between: fewer terms to intersect than every three, and nearly as narrow.
        QStringLiteral("NameTerms(Terms) AS (SELECT group_concat('\"' || replace(Piece, '\"', '\"\"') || "
                       "'\"', ' ') FROM (SELECT I, substr(:name, I, 3) AS Piece FROM NamePositions) "
                       "WHERE length(Piece) = 3 AND instr(Piece, '*') = 0 AND instr(Piece, '?') = 0 "
                       "AND (I % 3 = 1 OR I = 1 OR substr(:name, I - 1, 1) IN ('*', '?') "
                       "OR substr(:name, I + 3, 1) IN ('', '*', '?')))"),
        // Every entry, read in order; the name, which most entries fail, is tested first, and the
        // volume and type on the entry itself (the same values as its joined rows'), before its
        // volume and type rows are looked up.
        QString::fromLatin1(FindColumns) + QString::fromLatin1(EntriesWithVolumeAndType) +
            QStringLiteral("WHERE ") + way + QStringLiteral(" = 'scan'\n") + findConditions(true) +
            QStringLiteral("UNION ALL"),
        QString::fromLatin1(FindColumns) +
            QStringLiteral("FROM EntryNames CROSS JOIN Entries ON Entries.ID = EntryNames.rowid\n"
                           "CROSS JOIN CDs ON Entries.CD = CDs.ID CROSS JOIN Images ON Entries.ImageID = "
                           "Images.ImageID\n"
                           "WHERE ") +
            way +
            QStringLiteral(" = 'name' AND EntryNames MATCH "
                           "coalesce((SELECT Terms FROM NameTerms), '\"\"')\n") +
            findConditions(true) + QStringLiteral("UNION ALL"),
        // The entries the names' index does not hold yet come after those it holds, as their IDs do.
        QString::fromLatin1(FindColumns) + QString::fromLatin1(EntriesWithVolumeAndType) +
            QStringLiteral("WHERE ") + way +
            QStringLiteral(" = 'name' AND Entries.ID > (SELECT UpTo FROM SearchIndexed)\n") +
            findConditions(true) + QStringLiteral("UNION ALL"),
        QString::fromLatin1(FindColumns) + QString::fromLatin1(EntriesWithVolumeAndType) +
            QStringLiteral("WHERE ") + way +
            QStringLiteral(" = 'text'\n"
                           "  AND Entries.ID IN (SELECT rowid FROM EntryTexts "
                           "WHERE EntryTexts MATCH coalesce(:text, '\"\"'))\n") +
            findConditions(false),
    };
}

QStringList DescriptionWords(const QString &text)
{
    QStringList words;
    QString word;
    const QList<uint> characters = text.toUcs4();
    for (qsizetype i = 0; i <= characters.size(); ++i) {
        if (i < characters.size() && isWordCharacter(char32_t(characters[i]))) {
            const char32_t c = char32_t(characters[i]);
            word += QString::fromUcs4(&c, 1);
        } else if (!word.isEmpty()) {
            words << word;
            word.clear();
        }
    }
    return words;
}

QString DescriptionQuery(const QString &text)
{
    QStringList words = DescriptionWords(text);
    for (QString &word : words)
        word = QLatin1Char('"') + word + QLatin1Char('"');
    if (!words.isEmpty())
        words.last() += QLatin1Char('*');
    return words.join(QLatin1Char(' '));
}

void ResetSearchFlags(TQuery &findDialog)
{
    findDialog.Close();
    // The data set is made before it knows its engine; the server gets its own text once it does.
    if (const TDatabase *database = findDialog.Database(); database && database->IsPostgres()) {
        static const QString sqliteText = FindDialogSql(false).join(u'\n');
        if (findDialog.Text() == sqliteText)
            findDialog.SetSQL(FindDialogSql(true));
    }
    for (const char16_t *name : {u"t0", u"t11", u"t12", u"t2", u"t3", u"t4", u"t51", u"t52", u"t53"})
        param(findDialog, name)->SetAsBoolean(true);
    param(findDialog, u"text")->Clear();
}

void ResetSearchFlags(TGlobal &global)
{
    ResetSearchFlags(global.FindDialog);
}

void ApplyFindCriteria(TGlobal &global, const TFindCriteria &criteria)
{
    ResetSearchFlags(global);
    // Entries the word indexes do not hold yet are still found by name, only without the index.
    // A catalogue another program is writing may refuse this for now, which only slows the search.
    // The server keeps its indexes itself.
    if (!global.Database.IsPostgres()) {
        try {
            global.IndexNewEntries();
        } catch (const EDatabaseError &) {
        }
    }
    ApplyFindCriteria(global.FindDialog, criteria);
}

void ApplyFindCriteria(TQuery &findDialog, const TFindCriteria &criteria)
{
    ResetSearchFlags(findDialog);

    // Only the untrimmed "*" means any name: " *" is the pattern "*", which leaves out entries
    // without a name.
    if (criteria.Name != u"*") {
        param(findDialog, u"name")->SetAsString(criteria.Name.trimmed());
        param(findDialog, criteria.WholeMatch ? u"t11" : u"t12")->SetAsBoolean(false);
    }

    if (criteria.Modified) {
        const QDate from = criteria.Modified->From;
        const QDate to = criteria.Modified->To;
        param(findDialog, u"t3")->SetAsBoolean(false);
        param(findDialog, u"daten")
            ->SetAsDateTime(TDateTime::FromParts(from.year(), from.month(), from.day()));
        param(findDialog, u"datek")
            ->SetAsDateTime(TDateTime::FromParts(to.year(), to.month(), to.day(), 23, 59, 59, 999));
    }

    switch (criteria.SizeRelation) {
    case TSizeRelation::None:
        break;
    case TSizeRelation::Equal:
        param(findDialog, u"t51")->SetAsBoolean(false);
        break;
    case TSizeRelation::AtLeast:
        param(findDialog, u"t53")->SetAsBoolean(false);
        break;
    case TSizeRelation::AtMost:
        param(findDialog, u"t52")->SetAsBoolean(false);
        break;
    }
    param(findDialog, u"size")->SetAsLargeInt(sizeInBytes(criteria.SizeText));

    if (criteria.TypeImageID) {
        param(findDialog, u"t4")->SetAsBoolean(false);
        param(findDialog, u"type")->SetAsInteger(*criteria.TypeImageID);
        if (criteria.TypeIsVolumePicture)
            param(findDialog, u"t0")->SetAsBoolean(false);
    }

    if (criteria.VolumeID) {
        param(findDialog, u"t2")->SetAsBoolean(false);
        param(findDialog, u"cd")->SetAsInteger(*criteria.VolumeID);
    }

    if (const QStringList words = DescriptionWords(criteria.Text); !words.isEmpty())
        param(findDialog, u"text")
            ->SetAsString(databaseOf(findDialog).IsPostgres() ? words.join(u' ')
                                                              : DescriptionQuery(criteria.Text));
}

bool IsVolumePicture(TGlobal &global, int imageId)
{
    const std::shared_ptr<TStatement> statement =
        global.Database.AcquireStatement(QStringLiteral("SELECT CD FROM Images WHERE ImageID = ?"));
    statement->Bind(1, TVariant(qint32(imageId)));
    const bool volumes = statement->Step() && statement->Column(0, TFieldType::Boolean).AsBoolean();
    statement->Reset();
    return volumes;
}

QString FindCountSql(const QString &findSql)
{
    return QStringLiteral("SELECT count(*) FROM (\n") + findSql + QStringLiteral("\n) AS Found");
}

qint64 FindResultCount(TQuery &findDialog)
{
    const std::shared_ptr<TStatement> statement = boundStatement(findDialog, FindCountSql(findDialog.Text()));
    return statement->Step() ? statement->ColumnInt64(0) : 0;
}

qint64 FindResultCount(TGlobal &global)
{
    return FindResultCount(global.FindDialog);
}

void ForEachFindResult(TQuery &findDialog, const std::function<void(const TStatement &row)> &onRow)
{
    const std::shared_ptr<TStatement> statement = boundStatement(findDialog, findDialog.Text());
    while (statement->Step())
        onRow(*statement);
}

void ForEachFindResult(TGlobal &global, const std::function<void(const TStatement &row)> &onRow)
{
    ForEachFindResult(global.FindDialog, onRow);
}
