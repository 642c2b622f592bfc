#include "FindCriteria.h"

#include "Databases.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

#include <limits>

namespace {

constexpr qint64 BytesPerKB = 1024;

TParam *param(TGlobal &global, const char16_t *name)
{
    return global.FindDialog.ParamByName(QString::fromUtf16(name));
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

// FindDialog's statement on the data module's connection, its parameters bound as the data set's
// parameters hold them.
TSqliteStatement boundStatement(TGlobal &global, const QString &sql)
{
    TSqliteStatement statement(global.Database.Handle(), sql);
    for (int i = 1; i <= statement.ParameterCount(); ++i)
        statement.Bind(i, global.FindDialog.ParamByName(statement.ParameterName(i).mid(1))->Value());
    return statement;
}

} // namespace

void ResetSearchFlags(TGlobal &global)
{
    global.FindDialog.Close();
    for (const char16_t *name : {u"t0", u"t11", u"t12", u"t2", u"t3", u"t4", u"t51", u"t52", u"t53"})
        param(global, name)->SetAsBoolean(true);
}

void ApplyFindCriteria(TGlobal &global, const TFindCriteria &criteria)
{
    ResetSearchFlags(global);

    // Only the untrimmed "*" means any name: " *" is the pattern "*", which leaves out entries
    // without a name.
    if (criteria.Name != u"*") {
        param(global, u"name")->SetAsString(criteria.Name.trimmed());
        param(global, criteria.WholeMatch ? u"t11" : u"t12")->SetAsBoolean(false);
    }

    if (criteria.Modified) {
        const QDate from = criteria.Modified->From;
        const QDate to = criteria.Modified->To;
        param(global, u"t3")->SetAsBoolean(false);
        param(global, u"daten")->SetAsDateTime(TDateTime::FromParts(from.year(), from.month(), from.day()));
        param(global, u"datek")
            ->SetAsDateTime(TDateTime::FromParts(to.year(), to.month(), to.day(), 23, 59, 59, 999));
    }

    switch (criteria.SizeRelation) {
    case TSizeRelation::None:
        break;
    case TSizeRelation::Equal:
        param(global, u"t51")->SetAsBoolean(false);
        break;
    case TSizeRelation::AtLeast:
        param(global, u"t53")->SetAsBoolean(false);
        break;
    case TSizeRelation::AtMost:
        param(global, u"t52")->SetAsBoolean(false);
        break;
    }
    param(global, u"size")->SetAsLargeInt(sizeInBytes(criteria.SizeText));

    if (criteria.TypeImageID) {
        param(global, u"t4")->SetAsBoolean(false);
        param(global, u"type")->SetAsInteger(*criteria.TypeImageID);
        if (criteria.TypeIsVolumePicture)
            param(global, u"t0")->SetAsBoolean(false);
    }

    if (criteria.VolumeID) {
        param(global, u"t2")->SetAsBoolean(false);
        param(global, u"cd")->SetAsInteger(*criteria.VolumeID);
    }
}

bool IsVolumePicture(TGlobal &global, int imageId)
{
    TSqliteStatement statement(global.Database.Handle(),
                               QStringLiteral("SELECT CD FROM Images WHERE ImageID = ?"));
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
