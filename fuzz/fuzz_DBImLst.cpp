// Pictures kept in a table, whatever their bytes: the image list loads every record into a picture
// of its own size at the record's id, a picture that does not decode showing as such, and never
// reads outside what it was given.

#include "DBImLst.h"
#include "Databases.h"
#include "Tables.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

QGuiApplication *App = nullptr;
QTemporaryDir *Dir = nullptr;
TDatabase *Db = nullptr;
TTable *Table = nullptr;
TDBImageList *List = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    App = new QGuiApplication(*argc, *argv);
    Dir = new QTemporaryDir;
    Db = new TDatabase;
    Db->SetDriverName(QStringLiteral("SQLITE"));
    Db->SetParams({QStringLiteral("DATABASE NAME=") + Dir->filePath(QStringLiteral("images.db")),
                   QStringLiteral("CREATE=TRUE")});
    Db->Open();
    Db->ExecSQL(QStringLiteral("CREATE TABLE Images (ImageID SMALLINT, Small BLOB)"));
    // The picture under test between two good ones: a bad picture must not spoil its neighbours.
    Db->ExecSQL(QStringLiteral("INSERT INTO Images (ImageID, Small) VALUES (1, NULL), (2, NULL), (3, NULL)"));
    Table = new TTable;
    Table->SetDatabase(Db);
    Table->SetTableName(QStringLiteral("Images"));
    Table->SetIndexFieldNames(QStringLiteral("ImageID"));
    List = new TDBImageList;
    List->SetIDFieldName(QStringLiteral("ImageID"));
    List->SetImageFieldName(QStringLiteral("Small"));
    List->SetDataSet(Table);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray picture(reinterpret_cast<const char *>(data), qsizetype(size));
    Db->ExecSQL(QStringLiteral("UPDATE Images SET Small = ? WHERE ImageID = 2"), {TVariant(picture)});
    List->Reload();
    if (List->Count() != 4)
        std::abort();
    for (int index = 0; index < List->Count(); ++index)
        if (List->Pixmap(index).size() != List->Size())
            std::abort();
    return 0;
}
