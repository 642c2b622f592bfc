#include "FindCriteria.h"

#include "CatalogSchema.h"
#include "Databases.h"
#include "SearchIndexesPg.h"
#include "Statements.h"
#include "dmGlobal.h"

namespace {

// A name pattern of * and ? as LIKE takes it; % and _ typed by the user are themselves.
QString PgLikePattern()
{
    return QStringLiteral("replace(replace(replace(replace(replace(:name, '\\', '\\\\'), '%', '\\%'), '_', "
                          "'\\_'), '*', '%'), '?', '_') ESCAPE '\\'");
}

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

TParam *param(TQuery &findDialog, const char *name)
{
    return findDialog.ParamByName(QString::fromLatin1(name));
}

// The number of KB as bytes. Beyond what 64 bits of bytes hold, the bound stays at the largest
// size there can be, which no entry passes.
qint64 sizeInBytes(const QString &text)
{
    bool ok = false;
    const qint64 kb = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return FindStatements::SizeInBytes(kb);
}

// FindDialog's statement on its connection, its parameters bound as the data set's parameters
// hold them.
void bindParameters(TQuery &findDialog, TStatement &statement)
{
    for (int i = 1; i <= statement.ParameterCount(); ++i)
        if (const TParam *value = findDialog.ParamByName(statement.ParameterName(i).mid(1)))
            statement.Bind(i, value->Value());
}

std::shared_ptr<TStatement> boundStatement(TQuery &findDialog, const QString &sql)
{
    std::shared_ptr<TStatement> statement = databaseOf(findDialog).Prepare(sql);
    bindParameters(findDialog, *statement);
    return statement;
}

// The same conditions for the PostgreSQL server, each written so that its indexes serve it
// (PgSearchIndexStatements): the statement is planned with the values bound, so a switched-off
// condition falls away and the pattern is a constant. Comparisons are made in the "C" collation,
// which folds ASCII letters only, as SQLite's LIKE and NOCASE do. text holds the words of the
// description's condition separated by blanks, the last one as the start of a word.
//
// The names are looked for in NameSearch, and among the entries not there yet (NamesPending),
// whenever the index can serve the pattern: a whole name, or one with three characters in a row
// that are no wildcards. Each entry found is still tested on its own name.
QString pgFindConditions()
{
    const QString whole = QStringLiteral("lower(%1 COLLATE \"C\") = lower(:name COLLATE \"C\")");
    const QString found = QStringLiteral("Entries.ID = ANY (ARRAY(SELECT ID FROM NameSearch WHERE %1 "
                                         "UNION ALL SELECT unnest(IDs) FROM NamesPending))");
    return QStringLiteral("  AND (:t12 OR (Entries.Name COLLATE \"C\" LIKE %1))\n"
                          "  AND (:t12 OR NOT (:name ~ '[^*?]{3}') OR %2)\n"
                          "  AND (:t11 OR (%3))\n"
                          "  AND (:t11 OR %4)\n")
               .arg(PgLikePattern(), found.arg(QStringLiteral("Name COLLATE \"C\" LIKE ") + PgLikePattern()),
                    whole.arg(u"Entries.Name"), found.arg(whole.arg(u"Name"))) +
           QString::fromLatin1(FindStatements::OtherConditions) +
           QStringLiteral(
               "  AND (:text IS NULL OR to_tsvector('simple', %1) @@ "
               "to_tsquery('simple', nullif(regexp_replace(trim(%2), ' +', ' & ', 'g'), '') || ':*'))\n")
               .arg(PgIndexedWords(QStringLiteral("Entries.Description")),
                    PgIndexedWords(QStringLiteral(":text")));
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
        return {QString::fromLatin1(FindStatements::FindColumns) +
                    QString::fromLatin1(FindStatements::EntriesWithVolumeAndType) +
                    QStringLiteral("WHERE TRUE\n") + pgFindConditions(),
                QStringLiteral("ORDER BY Entries.ID")};
    QStringList lines;
    for (const std::string &line : FindStatements::DialogLines())
        lines << QString::fromStdString(line);
    return lines;
}

QStringList DescriptionWords(const QString &text)
{
    const QList<uint> characters = text.toUcs4();
    QStringList words;
    QString word;
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
    const QList<uint> characters = text.toUcs4();
    const std::u32string codePoints(characters.begin(), characters.end());
    return QString::fromStdString(FindStatements::DescriptionQuery(codePoints, isWordCharacter));
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

    FindStatements::TSearch search;
    // Only the untrimmed "*" means any name: " *" is the pattern "*", which leaves out entries
    // without a name.
    if (criteria.Name != u"*")
        search.Name = criteria.Name.trimmed().toStdString();
    search.WholeMatch = criteria.WholeMatch;
    search.VolumeID = criteria.VolumeID;
    search.TypeImageID = criteria.TypeImageID;
    search.TypeIsVolumePicture = criteria.TypeIsVolumePicture;
    if (criteria.Modified) {
        const auto day = [](QDate date) {
            return FindStatements::TDay{date.year(), date.month(), date.day()};
        };
        search.From = day(criteria.Modified->From);
        search.To = day(criteria.Modified->To);
    }
    search.SizeRelation = criteria.SizeRelation;
    search.SizeBytes = sizeInBytes(criteria.SizeText);
    // The server's word index takes the words themselves, the file engine's a query of its own.
    search.TextQuery = (databaseOf(findDialog).IsPostgres() ? DescriptionWords(criteria.Text).join(u' ')
                                                            : DescriptionQuery(criteria.Text))
                           .toStdString();

    using K = FindStatements::TParameter::TKind;
    for (const FindStatements::TParameter &value : FindStatements::Parameters(search)) {
        TParam *target = param(findDialog, value.Name);
        const FindStatements::TDay &day = value.Day;
        switch (value.Kind) {
        case K::Switch:
            target->SetAsBoolean(value.Flag);
            break;
        case K::Text:
            target->SetAsString(QString::fromStdString(value.Text));
            break;
        case K::Null:
            target->Clear();
            break;
        case K::Integer:
            target->SetAsInteger(int(value.Number));
            break;
        case K::LargeInt:
            target->SetAsLargeInt(value.Number);
            break;
        case K::DayStart:
            target->SetAsDateTime(TDateTime::FromParts(day.Year, day.Month, day.Day));
            break;
        case K::DayEnd:
            target->SetAsDateTime(TDateTime::FromParts(day.Year, day.Month, day.Day, 23, 59, 59, 999));
            break;
        }
    }
}

bool IsVolumePicture(TGlobal &global, int imageId)
{
    const std::shared_ptr<TStatement> statement =
        global.Database.AcquireStatement(QString::fromLatin1(FindStatements::VolumePictureSql));
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

void ForEachFindResult(TQuery &findDialog, const std::function<void(const TStatement &row)> &onRow, int slice)
{
    databaseOf(findDialog)
        .ForEachRow(
            findDialog.Text(),
            [&findDialog](TStatement &statement) { bindParameters(findDialog, statement); }, onRow, slice);
}

void ForEachFindResult(TGlobal &global, const std::function<void(const TStatement &row)> &onRow)
{
    ForEachFindResult(global.FindDialog, onRow);
}
