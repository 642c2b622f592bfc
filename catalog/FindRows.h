#pragma once

#include "QueryThreads.h"
#include "Variants.h"

#include <QList>
#include <QObject>
#include <QString>

class TGlobal;
class TQuery;

// One row of a search's result, read from the columns of the FindDialog query.
struct TFoundEntry
{
    int ID = 0;
    int Parent = 0; // the folder the entry is in
    int ImageID = 0;
    QString Name;
    QString InFolder; // the volume label, ":\" and the folder's path
    TVariant Size;
    QString Type;
    TVariant Modified;
};

// Reads the first rows of the data module's FindDialog query, as its parameters stand when the
// search starts, on a connection and a thread of its own: a name pattern may have to be tested on
// every entry of the catalogue, and the window that asked keeps taking keys meanwhile. Rows
// arrive through the event loop in batches, the first as soon as there is one; a search that is
// cancelled, restarted or outlived reports nothing more.
class TFindRows : public QObject
{
    Q_OBJECT

public:
    explicit TFindRows(QObject *parent = nullptr);
    ~TFindRows() override;

    // Reads at most `limit` rows.
    void Start(TGlobal &global, int limit);
    // The same for a FindDialog query of any connection.
    void Start(TQuery &findDialog, int limit);
    void Cancel();
    bool Running() const { return FQuery.Running(); }

signals:
    void Found(const QList<TFoundEntry> &rows);
    // After the last batch: whether the query had rows beyond the limit.
    void Finished(bool more);
    void Failed(const QString &message);

private:
    TQueryThread FQuery{this};
};
