#pragma once

#include "Variants.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class TDatabase;
class TStatement;

// Many rows into one table, as fast as the engine takes them: one COPY on a PostgreSQL server, one
// prepared INSERT run again and again on SQLite. The rows go in within the caller's transaction,
// values in the order of the columns, typed as the columns are.
class TBulkInsert
{
public:
    TBulkInsert(TDatabase &database, const QString &table, const QStringList &columns);
    ~TBulkInsert();
    TBulkInsert(const TBulkInsert &) = delete;
    TBulkInsert &operator=(const TBulkInsert &) = delete;

    void Add(const TVariantArray &values);
    // Ends the rows; on a server, the moment its checks of the whole lot run and may throw.
    void Finish();

private:
    void SendBuffered();

    TDatabase &FDatabase;
    QStringList FColumns;
    std::shared_ptr<TStatement> FInsert; // SQLite
    QByteArray FBuffer;                  // PostgreSQL: rows of COPY's text form not yet sent
    bool FCopying = false;
};

// A value as COPY's text form writes it: \N for NULL, backslashes, tabs and line ends escaped.
QByteArray CopyText(const TVariant &value);
