#include "FindCounts.h"

#include "FindCriteria.h"
#include "Statements.h"
#include "dmGlobal.h"

#include <memory>

TFindCount::TFindCount(QObject *parent) : QObject(parent)
{}

TFindCount::~TFindCount() = default;

void TFindCount::Cancel()
{
    FQuery.Cancel();
}

void TFindCount::Start(TGlobal &global)
{
    Start(global.FindDialog);
}

void TFindCount::Start(TQuery &findDialog)
{
    // Written in the thread, read here only once it is through.
    auto rows = std::make_shared<qint64>(0);
    FQuery.Start(
        findDialog, FindCountSql(findDialog.Text()),
        [rows](TStatement &statement, const TQueryThread::TRun &) {
            if (statement.Step())
                *rows = statement.ColumnInt64(0);
        },
        {},
        [this, rows](const QString &failure) {
            if (failure.isEmpty())
                emit Counted(*rows);
            else
                emit Failed(failure);
        });
}
