#pragma once

#include "Databases.h"

#include <QString>

// What a piece of work writes takes effect whole or not at all: in a transaction of its own, or,
// when the caller holds one already, in a savepoint of it. Left without Commit (an exception, a
// stop), everything written since it began is undone.
class TAllOrNothing
{
public:
    explicit TAllOrNothing(TDatabase &database, const QString &name)
        : FDatabase(database), FName(name), FOwn(!database.InTransaction())
    {
        if (FOwn)
            FDatabase.StartTransaction();
        else
            FDatabase.ExecSQL(QStringLiteral("SAVEPOINT ") + FName);
        FOpen = true;
    }
    ~TAllOrNothing()
    {
        if (!FOpen)
            return;
        try {
            Rollback();
        } catch (...) {
            // The connection is gone or broken: the engine undoes an open transaction itself.
        }
    }
    TAllOrNothing(const TAllOrNothing &) = delete;
    TAllOrNothing &operator=(const TAllOrNothing &) = delete;

    void Commit()
    {
        FOpen = false;
        if (FOwn)
            FDatabase.Commit();
        else
            FDatabase.ExecSQL(QStringLiteral("RELEASE ") + FName);
    }
    void Rollback()
    {
        FOpen = false;
        if (FOwn) {
            if (FDatabase.InTransaction())
                FDatabase.Rollback();
        } else if (FDatabase.InTransaction()) {
            // An error the engine answers by ending the transaction took the savepoint with it.
            FDatabase.ExecSQL(QStringLiteral("ROLLBACK TO ") + FName);
            FDatabase.ExecSQL(QStringLiteral("RELEASE ") + FName);
        }
    }

private:
    TDatabase &FDatabase;
    QString FName;
    bool FOwn;
    bool FOpen = false;
};
