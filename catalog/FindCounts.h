#pragma once

#include "QueryThreads.h"

#include <QObject>
#include <QString>

class TGlobal;
class TQuery;

// Counts the rows of the data module's FindDialog query, as its parameters stand when the count
// starts, on a connection and a thread of its own: a result of millions of rows takes a good part
// of a second to count, and the window that asked stays responsive meanwhile. Counted or Failed
// arrives through the event loop; a count that is cancelled, restarted or outlived reports nothing.
class TFindCount : public QObject
{
    Q_OBJECT

public:
    explicit TFindCount(QObject *parent = nullptr);
    ~TFindCount() override;

    void Start(TGlobal &global);
    void Start(TQuery &findDialog);
    void Cancel();
    bool Running() const { return FQuery.Running(); }

signals:
    void Counted(qint64 rows);
    void Failed(const QString &message);

private:
    TQueryThread FQuery{this};
};
