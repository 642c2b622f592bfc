#pragma once

#include "DBDataSets.h"

#include <memory>

// A named value of a statement (":name"). A name used several times in one statement is one
// parameter: setting it sets every place it appears.
class TParam
{
public:
    explicit TParam(QString name) : FName(std::move(name)) {}
    const QString &Name() const { return FName; }
    const TVariant &Value() const { return FValue; }
    void SetValue(const TVariant &value) { FValue = value; }
    bool IsNull() const { return FValue.IsEmptyOrNull(); }
    void Clear() { FValue = TVariant(); }
    void SetAsString(const QString &value) { FValue = TVariant(value); }
    void SetAsInteger(int value) { FValue = TVariant(qint32(value)); }
    void SetAsLargeInt(qint64 value) { FValue = TVariant(value); }
    void SetAsBoolean(bool value) { FValue = TVariant(value); }
    void SetAsDateTime(TDateTime value) { FValue = TVariant(value); }
    void SetAsFloat(double value) { FValue = TVariant(value); }

private:
    QString FName;
    TVariant FValue;
};

class TParams
{
public:
    int Count() const { return int(FItems.size()); }
    TParam *Items(int index) const { return FItems.at(size_t(index)).get(); }
    TParam *FindParam(const QString &name) const;
    TParam *ParamByName(const QString &name) const;
    // Rebuilds the list from the names of a statement, keeping the values of names that stay.
    void Assign(const QStringList &names);

private:
    std::vector<std::unique_ptr<TParam>> FItems;
};

// The parameter names of a statement, in order of first appearance, without repeats (compared
// without regard to case). Text in quotes and comments is skipped.
QStringList ParseParamNames(const QString &sql);

// A data set over the rows of an SQL statement, or a statement run for its effect. The rows are
// read as they are needed and kept, so moving back costs nothing; the result cannot be edited.
class TQuery : public TDBDataSet
{
public:
    TQuery();
    ~TQuery() override;

    const QStringList &SQL() const { return FSQL; }
    void SetSQL(const QStringList &lines);
    QString Text() const { return FSQL.join(u'\n'); }
    TParams &Params() { return FParams; }
    TParam *ParamByName(const QString &name) const { return FParams.ParamByName(name); }

    void Prepare();
    void Unprepare();
    bool Prepared() const { return FPrepared; }
    // Runs the statement (all of them, for a script) without reading rows.
    void ExecSQL();
    int RowsAffected() const { return FRowsAffected; }

    bool CanModify() const override { return false; }
    // A statement left part-read keeps a read transaction open: others could not checkpoint, and
    // this connection would go on seeing an old snapshot and fail to write. While idle the query
    // lets go of it; the next row read runs the statement again and passes the rows it has.
    void ReleaseReadLock() override;

    // At most this many rows are read (0: all of them); the data set ends after the last. A view
    // of a result that can run to millions of rows stays within bounded memory this way.
    int MaxRows() const { return FMaxRows; }
    void SetMaxRows(int value) { FMaxRows = value < 0 ? 0 : value; }

protected:
    // The statement text to run; a saved query fetches its text here.
    virtual QString StatementText() { return Text(); }

    std::vector<TFieldDef> InternalOpen() override;
    void InternalClose() override;
    bool InternalFirst() override;
    bool InternalLast() override;
    bool InternalNext() override;
    bool InternalPrior() override;
    const TVariantArray *InternalCurrentRow() const override;
    TBookmark InternalBookmark() const override;
    bool InternalGotoBookmark(const TBookmark &bookmark) override;
    bool InternalBookmarkValid(const TBookmark &bookmark) override;
    int InternalRecordCount() override;
    std::optional<TBookmark> InternalLocate(const std::vector<int> &fields, const TVariantArray &values,
                                            TLocateOptions options) override;
    void InternalRefresh() override;

private:
    void BindParams(TStatement &statement) const;
    bool FetchOne();
    void FetchAll();
    bool ResumeStatement();
    QString LimitedText(const TDatabase &database, const QString &sql) const;

    QStringList FSQL;
    TParams FParams;
    bool FPrepared = false;
    int FRowsAffected = 0;
    int FMaxRows = 0;

    std::shared_ptr<TStatement> FStatement;
    std::vector<TFieldType> FTypes;
    std::vector<TVariantArray> FRows;
    bool FExhausted = false;
    bool FParked = false; // reset while idle, before its last row was read
    int FCurrent = -1;
};

// Runs a query saved in the database under a name: for its rows (Open) or for its effect
// (ExecProc).
class TStoredProc : public TQuery
{
public:
    const QString &StoredProcName() const { return FStoredProcName; }
    void SetStoredProcName(const QString &value);
    void ExecProc();

protected:
    QString StatementText() override;

private:
    QString FStoredProcName;
};
