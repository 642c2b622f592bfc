#include "FindRows.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

#include <QElapsedTimer>
#include <atomic>
#include <mutex>
#include <sqlite3.h>
#include <thread>
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

    explicit TColumns(const TSqliteStatement &statement)
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

    TVariant Value(const TSqliteStatement &row, int column) const
    {
        return column < 0 ? TVariant::Null() : row.Column(column, Types[size_t(column)]);
    }

    TFoundEntry Read(const TSqliteStatement &row) const
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

struct TFindRows::TRun
{
    std::thread Thread;
    std::mutex Lock;
    sqlite3 *Handle = nullptr; // while the search runs, so Cancel can interrupt it
    std::atomic<bool> Cancelled = false;
};

TFindRows::TFindRows(QObject *parent) : QObject(parent)
{}

TFindRows::~TFindRows()
{
    Cancel();
}

void TFindRows::Cancel()
{
    if (!FRun)
        return;
    {
        const std::lock_guard guard(FRun->Lock);
        FRun->Cancelled = true;
        if (FRun->Handle)
            sqlite3_interrupt(FRun->Handle);
    }
    FRun->Thread.join();
    FRun.reset();
    ++FGeneration;
}

void TFindRows::Start(TGlobal &global, int limit)
{
    Cancel();
    // Everything the thread needs is copied here: the data module is not to be touched from it.
    const QByteArray file = global.Database.FileName().toUtf8();
    const QString sql = global.FindDialog.Text();
    std::vector<std::pair<QString, TVariant>> params;
    for (int i = 0; i < global.FindDialog.Params().Count(); ++i) {
        const TParam *param = global.FindDialog.Params().Items(i);
        params.emplace_back(param->Name(), param->Value());
    }
    FRun = std::make_unique<TRun>();
    TRun *run = FRun.get();
    const quint64 generation = ++FGeneration;
    // Runs in the thread: hands rows and the outcome to this object's own thread.
    auto report = [this, generation](QList<TFoundEntry> rows, bool finished, bool more,
                                     const QString &failure) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, rows = std::move(rows), finished, more, failure] {
                if (generation != FGeneration)
                    return;
                if (!rows.isEmpty())
                    emit Found(rows);
                // A handler of Found may have started another search.
                if (!finished || generation != FGeneration)
                    return;
                // The thread has ended or is about to: it is joined before anyone hears.
                FRun->Thread.join();
                FRun.reset();
                if (failure.isEmpty())
                    emit Finished(more);
                else
                    emit Failed(failure);
            },
            Qt::QueuedConnection);
    };
    run->Thread = std::thread([run, file, sql, params, limit, report] {
        sqlite3 *handle = nullptr;
        QList<TFoundEntry> batch;
        bool more = false;
        QString failure;
        if (sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK) {
            failure = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
        } else {
            sqlite3_busy_timeout(handle, 2000);
            {
                const std::lock_guard guard(run->Lock);
                run->Handle = run->Cancelled ? nullptr : handle;
            }
            try {
                if (!run->Cancelled) {
                    TSqliteStatement statement(handle, sql);
                    for (int i = 1; i <= statement.ParameterCount(); ++i) {
                        const QString name = statement.ParameterName(i).mid(1);
                        for (const auto &[paramName, value] : params)
                            if (paramName.compare(name, Qt::CaseInsensitive) == 0)
                                statement.Bind(i, value);
                    }
                    const TColumns columns(statement);
                    QElapsedTimer sinceSent;
                    sinceSent.start();
                    int rows = 0;
                    while (!run->Cancelled && statement.Step()) {
                        if (rows == limit) {
                            more = true;
                            break;
                        }
                        batch.append(columns.Read(statement));
                        ++rows;
                        if (rows == 1 || sinceSent.elapsed() >= BatchMilliseconds) {
                            report(std::exchange(batch, {}), false, false, {});
                            sinceSent.restart();
                        }
                    }
                }
            } catch (const EDatabaseError &error) {
                failure = error.Message();
            }
        }
        {
            const std::lock_guard guard(run->Lock);
            run->Handle = nullptr;
        }
        sqlite3_close_v2(handle);
        if (!run->Cancelled)
            report(std::move(batch), true, more, failure);
    });
}
