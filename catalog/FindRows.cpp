#include "FindRows.h"

#include "Databases.h"
#include "Queries.h"
#include "SqliteStatements.h"
#include "Statements.h"
#include "dmGlobal.h"

#include <QElapsedTimer>
#include <memory>
#include <utility>
#include <vector>

namespace {

// The first row found goes at once; the others are held back until this long after the last
// batch went, so the window repaints a few times per search rather than once per row.
constexpr qint64 BatchMilliseconds = 20;

// Where the query's columns are, looked up by name once per search.
struct TColumns
{
    int ID = -1, Parent = -1, ImageID = -1, Name = -1, InFolder = -1, Size = -1, Type = -1, Modified = -1;
    std::vector<TFieldType> Types;

    explicit TColumns(const TStatement &statement)
    {
        const std::pair<const char16_t *, int *> wanted[] = {
            {u"ID", &ID},     {u"Parent", &Parent},     {u"ImageID", &ImageID},
            {u"Name", &Name}, {u"InFolder", &InFolder}, {u"Size", &Size},
            {u"Type", &Type}, {u"Modified", &Modified}};
        for (int i = 0; i < statement.ColumnCount(); ++i) {
            Types.push_back(FieldTypeFromDecl(statement.ColumnDeclType(i)));
            for (const auto &[name, index] : wanted)
                if (*index < 0 &&
                    statement.ColumnName(i).compare(QStringView(name), Qt::CaseInsensitive) == 0)
                    *index = i;
        }
    }

    TVariant Value(const TStatement &row, int column) const
    {
        return column < 0 ? TVariant::Null() : row.Column(column, Types[size_t(column)]);
    }

    TFoundEntry Read(const TStatement &row) const
    {
        const auto whole = [&](int column) {
            const TVariant value = Value(row, column);
            return value.IsNull() ? 0 : value.AsInteger();
        };
        TFoundEntry entry;
        entry.ID = whole(ID);
        entry.Parent = whole(Parent);
        entry.ImageID = whole(ImageID);
        entry.Name = Value(row, Name).AsString();
        entry.InFolder = Value(row, InFolder).AsString();
        entry.Size = Value(row, Size);
        entry.Type = Value(row, Type).AsString();
        entry.Modified = Value(row, Modified);
        return entry;
    }
};

} // namespace

TFindRows::TFindRows(QObject *parent) : QObject(parent)
{}

TFindRows::~TFindRows() = default;

void TFindRows::Cancel()
{
    FQuery.Cancel();
}

void TFindRows::Start(TGlobal &global, int limit)
{
    Start(global.FindDialog, limit);
}

void TFindRows::Start(TQuery &findDialog, int limit)
{
    // What the thread holds back for the end: the rows since the last batch, and whether the
    // query went on past the limit. Read here only once the thread is through.
    struct TRest
    {
        QList<TFoundEntry> Batch;
        bool More = false;
    };
    auto rest = std::make_shared<TRest>();
    // The server sends a result whole at the first step: it is asked for the rows wanted only,
    // and one more to tell whether there are more.
    QString sql = findDialog.Text();
    if (const TDatabase *database = findDialog.Database(); database && database->IsPostgres())
        sql = QStringLiteral("SELECT * FROM (\n") + sql + QStringLiteral("\n) AS Found LIMIT ") +
              QString::number(qint64(limit) + 1);
    FQuery.Start(
        findDialog, sql,
        // `this` is only carried into the batches posted back, never used in the thread.
        [this, rest, limit](TStatement &statement, const TQueryThread::TRun &run) {
            const TColumns columns(statement);
            QElapsedTimer sinceSent;
            sinceSent.start();
            int rows = 0;
            while (!run.Cancelled() && statement.Step()) {
                if (rows == limit) {
                    rest->More = true;
                    break;
                }
                rest->Batch.append(columns.Read(statement));
                ++rows;
                if (rows == 1 || sinceSent.elapsed() >= BatchMilliseconds) {
                    run.Post([this, batch = std::exchange(rest->Batch, {})] { emit Found(batch); });
                    sinceSent.restart();
                }
            }
        },
        [this, rest] {
            if (!rest->Batch.isEmpty())
                emit Found(rest->Batch);
        },
        [this, rest](const QString &failure) {
            if (failure.isEmpty())
                emit Finished(rest->More);
            else
                emit Failed(failure);
        });
}
