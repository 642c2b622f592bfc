#include "DBDataSets.h"

#include "Databases.h"

TDBDataSet::~TDBDataSet()
{
    ReleaseDatabase();
}

void TDBDataSet::SetDatabaseName(const QString &value)
{
    CheckInactive();
    FDatabaseName = value;
}

void TDBDataSet::SetSessionName(const QString &value)
{
    CheckInactive();
    FSessionName = value;
}

void TDBDataSet::SetDatabase(TDatabase *value)
{
    CheckInactive();
    FDatabase = value;
}

TDatabase *TDBDataSet::Database() const
{
    if (FDatabase)
        return FDatabase;
    TSession *session = TSession::Find(FSessionName);
    return session ? session->FindDatabase(FDatabaseName) : nullptr;
}

TDatabase *TDBDataSet::OpenDatabase()
{
    TDatabase *database = Database();
    if (!database)
        throw EDatabaseError(
            QStringLiteral("%1Unknown database: %2")
                .arg(Name().isEmpty() ? QString() : Name() + QStringLiteral(": "), FDatabaseName));
    database->Open();
    database->RegisterDataSet(this);
    FOpenedOn = database;
    return database;
}

void TDBDataSet::ReleaseDatabase()
{
    ClearStatements();
    if (FOpenedOn)
        FOpenedOn->UnregisterDataSet(this);
    FOpenedOn = nullptr;
}

TStatement &TDBDataSet::Statement(const QString &sql)
{
    auto it = FStatements.find(sql);
    if (it == FStatements.end()) {
        // Statements differ by the shape of their conditions only; a bound keeps a pathological
        // caller from holding thousands of them.
        if (FStatements.size() > 64)
            FStatements.clear();
        it = FStatements.insert(sql, FOpenedOn->Prepare(sql));
    }
    TStatement &statement = *it.value();
    statement.Reset();
    return statement;
}

void TDBDataSet::ClearStatements()
{
    FStatements.clear();
}
