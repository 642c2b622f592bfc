#pragma once

#include "FieldTypes.h"
#include "Variants.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

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

// The rows of a query read as fast as the engine gives them, without holding them all: one COPY
// out of a PostgreSQL server, one prepared statement stepped on SQLite. The query takes no
// parameters; each row's values come typed as asked. On a server the connection serves nothing
// else until the last row has been read or the read is destroyed.
class TBulkRead
{
public:
    TBulkRead(TDatabase &database, const QString &select, std::vector<TFieldType> types);
    ~TBulkRead();
    TBulkRead(const TBulkRead &) = delete;
    TBulkRead &operator=(const TBulkRead &) = delete;

    // The next row into values; false once there are no more.
    bool Next(TVariantArray &values);

private:
    TDatabase &FDatabase;
    std::vector<TFieldType> FTypes;
    std::vector<unsigned> FOids;
    std::shared_ptr<TStatement> FSelect; // SQLite
    bool FCopying = false;
};

// A field of COPY's text form as the server writes a value: escapes undone.
QByteArray UnescapedCopyText(QByteArrayView field);

// A value as COPY's text form writes it: \N for NULL, backslashes, tabs and line ends escaped.
QByteArray CopyText(const TVariant &value);
