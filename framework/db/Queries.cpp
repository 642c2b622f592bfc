#include "Queries.h"

#include "Databases.h"
#include "SqliteStatements.h"

// ---------------------------------------------------------------------------------------------
// Parameters

TParam *TParams::FindParam(const QString &name) const
{
    for (const auto &param : FItems)
        if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
            return param.get();
    return nullptr;
}

TParam *TParams::ParamByName(const QString &name) const
{
    TParam *param = FindParam(name);
    if (!param)
        throw EDatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
    return param;
}

void TParams::Assign(const QStringList &names)
{
    std::vector<std::unique_ptr<TParam>> items;
    for (const QString &name : names) {
        auto param = std::make_unique<TParam>(name);
        if (TParam *old = FindParam(name))
            param->SetValue(old->Value());
        items.push_back(std::move(param));
    }
    FItems = std::move(items);
}

QStringList ParseParamNames(const QString &sql)
{
    QStringList names;
    const qsizetype n = sql.size();
    auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"' || c == u'`') {
            const qsizetype close = sql.indexOf(c, i + 1);
            i = close < 0 ? n : close;
        } else if (c == u'[') {
            const qsizetype close = sql.indexOf(u']', i + 1);
            i = close < 0 ? n : close;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            const qsizetype close = sql.indexOf(u'\n', i);
            i = close < 0 ? n : close;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype close = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = close < 0 ? n : close + 1;
        } else if (c == u':' && i + 1 < n && isNameChar(sql[i + 1])) {
            qsizetype end = i + 1;
            while (end < n && isNameChar(sql[end]))
                ++end;
            const QString name = sql.mid(i + 1, end - i - 1);
            if (!names.contains(name, Qt::CaseInsensitive))
                names << name;
            i = end - 1;
        }
    }
    return names;
}

// ---------------------------------------------------------------------------------------------
// Query

TQuery::TQuery() = default;

TQuery::~TQuery()
{
    BeginDestroy();
    Close();
}

void TQuery::SetSQL(const QStringList &lines)
{
    Close();
    Unprepare();
    FSQL = lines;
    FParams.Assign(ParseParamNames(Text()));
}

void TQuery::Prepare()
{
    FPrepared = true;
}

void TQuery::Unprepare()
{
    FPrepared = false;
}

void TQuery::BindParams(TStatement &statement) const
{
    for (int i = 1; i <= statement.ParameterCount(); ++i) {
        const QString name = statement.ParameterName(i);
        if (name.isEmpty())
            throw EDatabaseError(QStringLiteral("Parameters must be named: %1").arg(Text()));
        const TParam *param = FParams.FindParam(name.mid(1));
        if (!param)
            throw EDatabaseError(QStringLiteral("Parameter '%1' not found").arg(name.mid(1)));
        // A parameter nobody set reads as null: the statement finds nothing rather than failing.
        statement.Bind(i, param->Value());
    }
}

void TQuery::ExecSQL()
{
    CheckInactive();
    TDatabase *database = OpenDatabase();
    try {
        const QString sql = StatementText();
        if (sql.trimmed().isEmpty())
            throw EDatabaseError(QStringLiteral("No SQL statement available"));
        FRowsAffected =
            database->ExecuteScript(sql, [this](TStatement &statement) { BindParams(statement); });
    } catch (...) {
        ReleaseDatabase();
        throw;
    }
    database->InvalidateSchema();
    ReleaseDatabase();
}

std::vector<TDataSet::TFieldDef> TQuery::InternalOpen()
{
    TDatabase *database = OpenDatabase();
    const QString sql = StatementText();
    if (sql.trimmed().isEmpty()) {
        ReleaseDatabase();
        throw EDatabaseError(QStringLiteral("No SQL statement available"));
    }
    std::vector<TFieldDef> defs;
    try {
        FStatement = database->AcquireStatement(LimitedText(*database, sql));
        if (!FStatement->IsValid() || FStatement->ColumnCount() == 0)
            throw EDatabaseError(QStringLiteral("The statement returns no rows: %1").arg(sql));
        BindParams(*FStatement);
        FRows.clear();
        FExhausted = false;
        FParked = false;
        FCurrent = -1;
        // Columns of expressions have no declared type: the first row's values tell.
        const bool hasRow = FStatement->Step();
        FTypes.clear();
        QStringList used;
        for (int i = 0; i < FStatement->ColumnCount(); ++i) {
            int size = 0;
            const QString decl = FStatement->ColumnDeclType(i);
            TFieldType type = decl.isEmpty() ? (hasRow ? FStatement->ColumnValueType(i) : TFieldType::String)
                                             : FieldTypeFromDecl(decl, &size);
            if (!decl.isEmpty() && decl.compare(u"INTEGER", Qt::CaseInsensitive) == 0)
                type = TFieldType::Integer;
            FTypes.push_back(type);
            QString name = FStatement->ColumnName(i);
            const QString base = name;
            for (int n = 1; used.contains(name, Qt::CaseInsensitive); ++n)
                name = base + u'_' + QString::number(n);
            used << name;
            defs.push_back({name, type, size});
        }
        if (hasRow) {
            TVariantArray row;
            for (int i = 0; i < int(FTypes.size()); ++i)
                row.push_back(FStatement->Column(i, FTypes[size_t(i)]));
            FRows.push_back(std::move(row));
        } else {
            FExhausted = true;
        }
    } catch (...) {
        FStatement.reset();
        ReleaseDatabase();
        throw;
    }
    return defs;
}

QString TQuery::LimitedText(const TDatabase &database, const QString &sql) const
{
    // A server computes and sends a result whole; rows past the limit must not be made at all.
    if (FMaxRows <= 0 || !database.IsPostgres())
        return sql;
    QString text = sql.trimmed();
    while (text.endsWith(u';'))
        text.chop(1);
    if (!text.startsWith(u"SELECT", Qt::CaseInsensitive) && !text.startsWith(u"WITH", Qt::CaseInsensitive))
        return sql;
    return QStringLiteral("SELECT * FROM (\n%1\n) AS limited LIMIT %2").arg(text).arg(FMaxRows);
}

void TQuery::InternalClose()
{
    // The statement goes back to the connection's cache, reset so it holds no read lock.
    if (FStatement)
        FStatement->Reset();
    FStatement.reset();
    FRows.clear();
    FTypes.clear();
    FExhausted = false;
    FParked = false;
    FCurrent = -1;
    ReleaseDatabase();
}

void TQuery::ReleaseReadLock()
{
    if (!FStatement || FExhausted || FParked || !FStatement->HoldsReadLock())
        return;
    FStatement->Reset();
    FParked = true;
}

bool TQuery::ResumeStatement()
{
    FParked = false;
    BindParams(*FStatement);
    for (size_t i = 0; i < FRows.size(); ++i) {
        if (!FStatement->Step()) {
            FExhausted = true;
            FStatement->Reset();
            return false;
        }
    }
    return true;
}

bool TQuery::FetchOne()
{
    if (FExhausted)
        return false;
    if (FMaxRows > 0 && FRows.size() >= size_t(FMaxRows)) {
        FExhausted = true;
        FStatement->Reset();
        return false;
    }
    if (FParked && !ResumeStatement())
        return false;
    if (!FStatement->Step()) {
        FExhausted = true;
        FStatement->Reset();
        return false;
    }
    TVariantArray row;
    row.reserve(FTypes.size());
    for (int i = 0; i < int(FTypes.size()); ++i)
        row.push_back(FStatement->Column(i, FTypes[size_t(i)]));
    FRows.push_back(std::move(row));
    return true;
}

void TQuery::FetchAll()
{
    while (FetchOne()) {
    }
}

bool TQuery::InternalFirst()
{
    if (FRows.empty() && !FetchOne())
        return false;
    FCurrent = 0;
    return true;
}

bool TQuery::InternalLast()
{
    FetchAll();
    FCurrent = int(FRows.size()) - 1;
    return !FRows.empty();
}

bool TQuery::InternalNext()
{
    if (FCurrent < 0)
        return false;
    if (size_t(FCurrent) + 1 >= FRows.size() && !FetchOne())
        return false;
    ++FCurrent;
    return true;
}

bool TQuery::InternalPrior()
{
    if (FCurrent <= 0)
        return false;
    --FCurrent;
    return true;
}

const TVariantArray *TQuery::InternalCurrentRow() const
{
    return FCurrent >= 0 && size_t(FCurrent) < FRows.size() ? &FRows[size_t(FCurrent)] : nullptr;
}

TBookmark TQuery::InternalBookmark() const
{
    return TBookmark(qint32(FCurrent));
}

bool TQuery::InternalGotoBookmark(const TBookmark &bookmark)
{
    if (!InternalBookmarkValid(bookmark))
        return false;
    FCurrent = bookmark.AsInteger();
    return true;
}

bool TQuery::InternalBookmarkValid(const TBookmark &bookmark)
{
    if (!bookmark.IsOrdinal())
        return false;
    const qint64 index = bookmark.AsInt64();
    while (index >= qint64(FRows.size()) && FetchOne()) {
    }
    return index >= 0 && index < qint64(FRows.size());
}

int TQuery::InternalRecordCount()
{
    FetchAll();
    return int(FRows.size());
}

std::optional<TBookmark> TQuery::InternalLocate(const std::vector<int> &fields, const TVariantArray &values,
                                                TLocateOptions options)
{
    auto matches = [&](const TVariantArray &row) {
        for (size_t i = 0; i < fields.size(); ++i) {
            const TField *field = Fields(fields[i]);
            const TVariant &have = row[size_t(fields[i])];
            const TVariant &want = values[i];
            if (want.IsEmptyOrNull() || have.IsEmptyOrNull()) {
                if (want.IsEmptyOrNull() != have.IsEmptyOrNull())
                    return false;
                continue;
            }
            if (have.VarType() == TVarType::String) {
                const QString text = have.AsString();
                const QString key = want.AsString();
                const Qt::CaseSensitivity cs =
                    (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
                if ((options & loPartialKey) ? !text.startsWith(key, cs) : text.compare(key, cs) != 0)
                    return false;
                continue;
            }
            if (!(field->Convert(want) == have))
                return false;
        }
        return true;
    };
    for (size_t i = 0;; ++i) {
        if (i >= FRows.size() && !FetchOne())
            return std::nullopt;
        if (matches(FRows[i]))
            return TBookmark(qint32(i));
    }
}

void TQuery::InternalRefresh()
{
    // A query's rows are a snapshot: refreshing runs the statement again from its first row.
    const bool wasOpen = FStatement != nullptr;
    if (!wasOpen)
        return;
    FStatement->Reset();
    BindParams(*FStatement);
    FRows.clear();
    FExhausted = false;
    FParked = false;
    FCurrent = FetchOne() ? 0 : -1;
}

// ---------------------------------------------------------------------------------------------
// Saved queries

void TStoredProc::SetStoredProcName(const QString &value)
{
    CheckInactive();
    FStoredProcName = value;
    // Callers give the parameters values before the first run, so they must exist by then. Without
    // a connection they are read at the run; an unknown name is reported there too.
    TDatabase *database = Database();
    if (!database || !database->Connected())
        return;
    try {
        Params().Assign(ParseParamNames(database->SavedQueryText(value)));
    } catch (const EDatabaseError &) {
        Params().Assign({});
    }
}

QString TStoredProc::StatementText()
{
    TDatabase *database = Database();
    if (!database)
        throw EDatabaseError(QStringLiteral("Unknown database: %1").arg(DatabaseName()));
    database->Open();
    const QString text = database->SavedQueryText(FStoredProcName);
    Params().Assign(ParseParamNames(text));
    return text;
}

void TStoredProc::ExecProc()
{
    ExecSQL();
}
