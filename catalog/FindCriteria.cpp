#include "FindCriteria.h"

#include "CatalogSchema.h"
#include "Databases.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

namespace {

TParam *param(TGlobal &global, const char16_t *name)
{
    return global.FindDialog.ParamByName(QString::fromUtf16(name));
}

TParam *param(TGlobal &global, const char *name)
{
    return global.FindDialog.ParamByName(QString::fromLatin1(name));
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

// FindDialog's statement on the data module's connection, its parameters bound as the data set's
// parameters hold them.
TSqliteStatement boundStatement(TGlobal &global, const QString &sql)
{
    TSqliteStatement statement(global.Database.Handle(), sql);
    for (int i = 1; i <= statement.ParameterCount(); ++i)
        statement.Bind(i, global.FindDialog.ParamByName(statement.ParameterName(i).mid(1))->Value());
    return statement;
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

QStringList FindDialogSql()
{
    QStringList lines;
    for (const std::string &line : FindStatements::DialogLines())
        lines << QString::fromStdString(line);
    return lines;
}

QString DescriptionQuery(const QString &text)
{
    const QList<uint> characters = text.toUcs4();
    const std::u32string codePoints(characters.begin(), characters.end());
    return QString::fromStdString(FindStatements::DescriptionQuery(codePoints, isWordCharacter));
}

void ResetSearchFlags(TGlobal &global)
{
    global.FindDialog.Close();
    for (const char16_t *name : {u"t0", u"t11", u"t12", u"t2", u"t3", u"t4", u"t51", u"t52", u"t53"})
        param(global, name)->SetAsBoolean(true);
    param(global, u"text")->Clear();
}

void ApplyFindCriteria(TGlobal &global, const TFindCriteria &criteria)
{
    ResetSearchFlags(global);
    // Entries the word indexes do not hold yet are still found by name, only without the index.
    // A catalogue another program is writing may refuse this for now, which only slows the search.
    try {
        global.IndexNewEntries();
    } catch (const EDatabaseError &) {
    }

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
    search.TextQuery = DescriptionQuery(criteria.Text).toStdString();

    using K = FindStatements::TParameter::TKind;
    for (const FindStatements::TParameter &value : FindStatements::Parameters(search)) {
        TParam *target = param(global, value.Name);
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
    TSqliteStatement statement(global.Database.Handle(),
                               QString::fromLatin1(FindStatements::VolumePictureSql));
    statement.Bind(1, TVariant(qint32(imageId)));
    return statement.Step() && statement.ColumnInt64(0) != 0;
}

qint64 FindResultCount(TGlobal &global)
{
    TSqliteStatement statement = boundStatement(global, QStringLiteral("SELECT count(*) FROM (\n") +
                                                            global.FindDialog.Text() + QStringLiteral("\n)"));
    return statement.Step() ? statement.ColumnInt64(0) : 0;
}

void ForEachFindResult(TGlobal &global, const std::function<void(const TSqliteStatement &row)> &onRow)
{
    TSqliteStatement statement = boundStatement(global, global.FindDialog.Text());
    while (statement.Step())
        onRow(statement);
}
