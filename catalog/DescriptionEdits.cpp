#include "DescriptionEdits.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "Statements.h"
#include "Tables.h"

#include <QCoreApplication>
#include <memory>
#include <utility>

namespace {

bool sameText(const TVariant &a, const TVariant &b)
{
    return a.IsNull() || b.IsNull() ? a.IsNull() == b.IsNull() : a.AsString() == b.AsString();
}

struct TEditing
{
    TVariant Read;               // the description when the edit began
    bool OwnTransaction = false; // the post runs in a transaction of the guard's own
};

void check(TDatabase &database, TDataSet *dataSet, TEditing &edit)
{
    if (dataSet->State() != TDataSetState::Edit)
        return;
    // Only a description the user changed can overwrite another's; a row edited for its name
    // writes no description.
    const TVariant typed = dataSet->FieldByName(QStringLiteral("Description"))->Value();
    if (sameText(typed, edit.Read))
        return;
    edit.OwnTransaction = !database.InTransaction();
    if (edit.OwnTransaction)
        database.StartTransaction();
    try {
        // On a server the row stays locked until the write is committed, so a second program's
        // check waits for it and then sees what it wrote.
        const std::shared_ptr<TStatement> stored =
            database.Prepare(QStringLiteral("SELECT Description FROM Entries WHERE ID = ?") +
                             (database.IsPostgres() ? QStringLiteral(" FOR UPDATE") : QString()));
        stored->Bind(1, TVariant(dataSet->FieldByName(QStringLiteral("ID"))->AsInteger()));
        if (stored->Step()) {
            const TVariant now = stored->Column(0, TFieldType::Memo);
            if (!sameText(now, edit.Read) && !sameText(now, typed))
                throw EDatabaseError(QCoreApplication::translate(
                    "TGlobal", "Someone else changed this description while you were editing it, so "
                               "yours was not saved. Your text is still here: copy it, then cancel to "
                               "see theirs."));
        }
    } catch (...) {
        if (edit.OwnTransaction && database.InTransaction())
            database.Rollback();
        edit.OwnTransaction = false;
        throw;
    }
}

void finish(TDatabase &database, TEditing &edit, bool posted)
{
    const bool own = std::exchange(edit.OwnTransaction, false);
    if (!own || !database.InTransaction())
        return;
    if (posted)
        database.Commit();
    else
        database.Rollback();
}

} // namespace

void GuardDescriptionEdits(TTable &table, TDatabase &database)
{
    const auto edit = std::make_shared<TEditing>();
    table.AfterEdit = TDataSetNotifyEvent(
        [edit](TDataSet *dataSet) {
            // Editing reads the row afresh: this is the text the user starts from.
            *edit = {dataSet->FieldByName(QStringLiteral("Description"))->Value(), false};
        },
        edit.get());
    table.BeforePost = TDataSetNotifyEvent(
        [edit, &database](TDataSet *dataSet) { check(database, dataSet, *edit); }, edit.get());
    table.AfterPost =
        TDataSetNotifyEvent([edit, &database](TDataSet *) { finish(database, *edit, true); }, edit.get());
    table.OnPostError = TDataSetErrorEvent(
        [edit, &database](TDataSet *, EDatabaseError &, TDataAction &) { finish(database, *edit, false); },
        edit.get());
}
