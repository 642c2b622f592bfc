#pragma once

#include "DataSets.h"
#include "Statements.h"

#include <QHash>
#include <memory>

class TDatabase;

// A data set over a database connection, found by the connection's database name in a session or
// given directly. It keeps its prepared statements while open.
class TDBDataSet : public TDataSet
{
public:
    ~TDBDataSet() override;

    const QString &DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const QString &value);
    const QString &SessionName() const { return FSessionName; }
    void SetSessionName(const QString &value);
    // A connection given directly takes the place of the one named.
    void SetDatabase(TDatabase *value);
    TDatabase *Database() const;

protected:
    // Resolves the connection, opens it when needed and registers this data set with it.
    TDatabase *OpenDatabase();
    void ReleaseDatabase();
    // A prepared statement for this text, reset and without bindings, kept until ClearStatements.
    TStatement &Statement(const QString &sql);
    void ClearStatements();

private:
    QString FDatabaseName;
    QString FSessionName;
    TDatabase *FDatabase = nullptr;
    TDatabase *FOpenedOn = nullptr;
    QHash<QString, std::shared_ptr<TStatement>> FStatements;
};
