#include "dmGlobal.h"

#include "CatalogSchema.h"
#include "DescriptionEdits.h"
#include "FindCriteria.h"
#include "SearchIndexers.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace {

void bind(TDBDataSet &dataSet, const QString &name)
{
    dataSet.SetName(name);
    dataSet.SetDatabaseName(QString::fromUtf16(TGlobal::DatabaseName));
    dataSet.SetSessionName(QString::fromUtf16(TGlobal::SessionName));
}

void table(TTable &dataSet, const QString &name, const QString &tableName)
{
    bind(dataSet, name);
    dataSet.SetTableName(tableName);
}

} // namespace

bool TGlobal::CheckNoInstance()
{
    if (FInstance)
        throw EDatabaseError(QStringLiteral("The data module exists already"));
    return true;
}

TGlobal::TGlobal(const QString &catalogueFile)
{
    Session.SetActive(true);
    if (catalogueFile.isEmpty()) {
        Database.SetAliasName(QString::fromUtf16(AliasName));
        Database.SetParams({QStringLiteral("USER NAME=Admin")});
    } else {
        Database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
        Database.SetParams(
            {QStringLiteral("DATABASE NAME=") + catalogueFile, QStringLiteral("USER NAME=Admin")});
    }
    Database.SetDatabaseName(QString::fromUtf16(DatabaseName));
    Database.SetSessionName(QString::fromUtf16(SessionName));
    Database.SetLoginPrompt(false);
    Database.SetTransIsolation(TTransIsolation::DirtyRead);
    Database.AfterConnect = [](TDatabase &database) { CatalogSchema::CreateScratchTables(database); };
    SetUpDataSets();

    Database.Open();
    // The server plans its own statement of the find; whoever opens FindDialog gets the one of
    // the engine it runs on.
    if (Database.IsPostgres())
        FindDialog.SetSQL(FindDialogSql(true));
    try {
        CatalogSchema::CheckAndUpgrade(Database);
        Folders.Open();
        FullList.Open();
        CDs.Open();
        Images.Open();
        ReloadImageLists();
    } catch (...) {
        Database.Close();
        throw;
    }
    FInstance = this;
}

TGlobal::~TGlobal()
{
    // The slice being indexed is given up; the next program to open the catalogue goes on.
    FIndexer.reset();
    Database.Close();
    if (FInstance == this)
        FInstance = nullptr;
}

void TGlobal::SetUpDataSets()
{
    const QString entries = QStringLiteral("Entries");

    table(Main, QStringLiteral("Main"), entries);
    Main.SetIndexName(QStringLiteral("ID"));

    table(Folders, QStringLiteral("Folders"), entries);
    // An archive whose entries were read is a node of the tree, as a folder is.
    Folders.SetFilter(QStringLiteral("Folder OR Archive"));
    Folders.SetFiltered(true);
    Folders.SetIndexFieldNames(QStringLiteral("Parent"));
    dsFolders.SetName(QStringLiteral("dsFolders"));
    dsFolders.SetDataSet(&Folders);

    table(FullList, QStringLiteral("FullList"), entries);
    FullList.SetIndexFieldNames(QStringLiteral("Parent"));
    FullList.SetMasterSource(&dsFolders);
    FullList.SetMasterFields(QStringLiteral("ID"));
    FullList.SetReadOnly(true);

    table(CDs, QStringLiteral("CDs"), QStringLiteral("CDs"));
    CDs.SetIndexFieldNames(QStringLiteral("ID"));
    CDs.SetMasterSource(&dsFolders);
    CDs.SetMasterFields(QStringLiteral("CD"));
    CDs.SetReadOnly(true);

    table(CDs2, QStringLiteral("CDs2"), QStringLiteral("CDs"));
    CDs2.SetIndexName(QStringLiteral("SerialNum"));

    table(Images, QStringLiteral("Images"), QStringLiteral("Images"));
    Images.SetIndexFieldNames(QStringLiteral("ImageID"));
    Images.SetReadOnly(true);
    Images.SetFieldNames({QStringLiteral("ImageID"), QStringLiteral("Description"), QStringLiteral("Large"),
                          QStringLiteral("Small")});

    for (TDBImageList *images : {&DBIL_Little, &DBIL_Big}) {
        images->SetShareImages(true);
        images->SetIDFieldName(QStringLiteral("ImageID"));
        images->SetDataSet(&Images);
    }
    DBIL_Little.setObjectName(QStringLiteral("DBIL_Little"));
    DBIL_Little.SetMasked(true);
    DBIL_Little.SetImageFieldName(QStringLiteral("Small"));
    DBIL_Big.setObjectName(QStringLiteral("DBIL_Big"));
    DBIL_Big.SetWidth(32);
    DBIL_Big.SetHeight(32);
    DBIL_Big.SetImageFieldName(QStringLiteral("Large"));

    table(ImageForList, QStringLiteral("ImageForList"), QStringLiteral("Images"));
    ImageForList.SetIndexName(QStringLiteral("PrimaryKey"));

    table(Images2, QStringLiteral("Images2"), QStringLiteral("Images"));
    Images2.SetFilter(QStringLiteral("ImageID>2"));
    Images2.SetFiltered(true);
    Images2.SetIndexFieldNames(QStringLiteral("ImageID"));
    Images2.BeforePost = TDataSetNotifyEvent([this](TDataSet *dataSet) { ImagesBeforePost(dataSet); }, this);
    Images2.OnDeleteError =
        TDataSetErrorEvent([this](TDataSet *dataSet, EDatabaseError &error,
                                  TDataAction &action) { Images2DeleteError(dataSet, error, action); },
                           this);
    dsImages2.SetName(QStringLiteral("dsImages2"));
    dsImages2.SetDataSet(&Images2);

    table(Images3, QStringLiteral("Images3"), QStringLiteral("Images"));
    Images3.SetFilter(QStringLiteral("CD"));
    Images3.SetFiltered(true);
    Images3.SetIndexName(QStringLiteral("PrimaryKey"));
    Images3.SetFieldNames({QStringLiteral("ImageID"), QStringLiteral("CD"), QStringLiteral("Description")});

    table(Extention, QStringLiteral("Extention"), QStringLiteral("Ext"));
    Extention.SetIndexFieldNames(QStringLiteral("ImageID"));
    Extention.SetMasterSource(&dsImages2);
    Extention.SetMasterFields(QStringLiteral("ImageID"));
    Extention.BeforePost =
        TDataSetNotifyEvent([this](TDataSet *dataSet) { ExtentionBeforePost(dataSet); }, this);

    table(NFO, QStringLiteral("NFO"), QStringLiteral("Nfo"));

    table(ForDescription, QStringLiteral("ForDescription"), entries);
    ForDescription.SetIndexName(QStringLiteral("ID"));
    ForDescription.SetFieldNames({QStringLiteral("ID"), QStringLiteral("Description")});

    table(ForProperties, QStringLiteral("ForProperties"), entries);
    ForProperties.SetIndexName(QStringLiteral("PrimaryKey"));
    ForProperties.SetFieldNames({QStringLiteral("ID"), QStringLiteral("Description"), QStringLiteral("Name"),
                                 QStringLiteral("Size"), QStringLiteral("Modified"),
                                 QStringLiteral("ImageID"), QStringLiteral("CD"), QStringLiteral("FullPath"),
                                 QStringLiteral("Parent")});
    ForProperties.AddCalculatedField(QStringLiteral("LocatedIn"), TFieldType::String, 255);
    ForProperties.AfterOpen = TDataSetNotifyEvent(
        [this](TDataSet *dataSet) {
            dataSet->FieldByName(QStringLiteral("Size"))
                ->SetDisplayFormat(QStringLiteral("#,###,###,### bytes"));
            dataSet->FieldByName(QStringLiteral("LocatedIn"))->OnGetText = TFieldGetTextEvent(
                [this](TField *sender, QString &text, bool displayText) {
                    ForPropertiesLocatedInGetText(sender, text, displayText);
                },
                this);
        },
        this);
    // Descriptions typed in the properties and in the explorer's pane do not overwrite what
    // another program stored meanwhile.
    GuardDescriptionEdits(ForProperties, Database);
    GuardDescriptionEdits(Folders, Database);
    dsProperties.SetName(QStringLiteral("dsProperties"));
    dsProperties.SetDataSet(&ForProperties);

    table(CDProperties, QStringLiteral("CDProperties"), QStringLiteral("CDs"));
    CDProperties.SetIndexFieldNames(QStringLiteral("ID"));
    CDProperties.SetMasterSource(&dsProperties);
    CDProperties.SetMasterFields(QStringLiteral("CD"));

    table(ImageProperties, QStringLiteral("ImageProperties"), QStringLiteral("Images"));
    ImageProperties.SetIndexFieldNames(QStringLiteral("ImageID"));
    ImageProperties.SetMasterSource(&dsProperties);
    ImageProperties.SetMasterFields(QStringLiteral("ImageID"));
    ImageProperties.SetReadOnly(true);
    ImageProperties.SetFieldNames(
        {QStringLiteral("ImageID"), QStringLiteral("Description"), QStringLiteral("Large")});

    table(TEMP_CD, QStringLiteral("TEMP_CD"), QStringLiteral("TEMP_CD"));
    TEMP_CD.SetExclusive(true);
    TEMP_CD.SetFieldNames({QStringLiteral("ID")});

    bind(FindEx, QStringLiteral("FindEx"));
    FindEx.SetSQL(
        {QStringLiteral("select ImageID"), QStringLiteral("from Ext"), QStringLiteral("where Name = :str")});

    // A volume can be deeper than the engine follows cascading deletes, so its folders and read
    // archives are first unlinked from their parents (other files have no children to cascade to)
    // and then everything is
    // deleted by volume: nothing of it is left at any depth, and the root's CDs row goes with the
    // root. Both run as one script, whole or not at all.
    bind(DeleteCD, QStringLiteral("DeleteCD"));
    DeleteCD.SetSQL(
        {QStringLiteral("UPDATE Entries SET Parent = NULL WHERE CD = :cd AND ID <> :cd AND (Folder <> 0 OR "
                        "Archive <> 0);"),
         QStringLiteral("DELETE FROM Entries"),
         QStringLiteral("WHERE (Entries.Parent = :cd) OR (Entries.ID = :cd) OR (Entries.CD = :cd)")});

    bind(FindDialog, QStringLiteral("FindDialog"));
    FindDialog.SetSQL(FindDialogSql());
    dsFindDialog.SetName(QStringLiteral("dsFindDialog"));
    dsFindDialog.SetAutoEdit(false);
    dsFindDialog.SetDataSet(&FindDialog);

    bind(ImageNumber, QStringLiteral("ImageNumber"));
    ImageNumber.SetStoredProcName(QStringLiteral("ImageNumber"));
    bind(FilesWithInfo, QStringLiteral("FilesWithInfo"));
    FilesWithInfo.SetStoredProcName(QStringLiteral("SelectFilesWithInfo"));
    bind(FoldersWithInfo, QStringLiteral("FoldersWithInfo"));
    FoldersWithInfo.SetStoredProcName(QStringLiteral("SelectFoldersWithInfo"));
}

void TGlobal::RefreshViews()
{
    if (!DataChanged)
        return;
    FullList.Close();
    CDs.Close();
    Folders.Close();
    Folders.Open();
    CDs.Open();
    FullList.Open();
    DataChanged = false;
}

void TGlobal::ReloadImageLists()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    DBIL_Little.Reload();
    DBIL_Big.Reload();
}

void TGlobal::SetIndexInBackground(bool background)
{
    if (!background)
        FIndexer.reset();
    else if (!FIndexer && Database.IsPostgres())
        FIndexer = std::make_unique<TSearchIndexer>(Database.ConnectedDriver(), Database.ConnectedParams());
    else if (!FIndexer)
        FIndexer = std::make_unique<TSearchIndexer>(Database.FileName());
}

void TGlobal::IndexNewEntries()
{
    if (!FIndexer) {
        CatalogSchema::UpdateSearchIndexes(Database);
        return;
    }
    if (!ReadOnly())
        FIndexer->Start();
}

QString TGlobal::WaitForIndexes()
{
    return FIndexer ? FIndexer->Wait() : QString();
}

void TGlobal::OpenProperties()
{
    ForProperties.Open();
    CDProperties.Open();
    ImageProperties.Open();
}

void TGlobal::ForPropertiesLocatedInGetText(TField *, QString &text, bool)
{
    text = CDProperties.FieldByName(QStringLiteral("VolumeLabel"))->AsString() + QStringLiteral(":\\") +
           ForProperties.FieldByName(QStringLiteral("FullPath"))->AsString();
}

void TGlobal::ImagesBeforePost(TDataSet *dataSet)
{
    TField *imageId = dataSet->FieldByName(QStringLiteral("ImageID"));
    if (imageId->AsInteger() != 0)
        return;
    ImageNumber.Open();
    const int number = ImageNumber.Fields(0)->AsInteger();
    ImageNumber.Close();
    imageId->SetAsInteger(number);
}

void TGlobal::ExtentionBeforePost(TDataSet *dataSet)
{
    TField *name = dataSet->FieldByName(QStringLiteral("Name"));
    name->SetAsString(name->AsString().toLower());
}

void TGlobal::Images2DeleteError(TDataSet *, EDatabaseError &error, TDataAction &action)
{
    // Only a type that entries still use is refused by the catalogue's references; any other
    // failure (a locked catalogue, say) is reported as it is.
    if (!error.Message().contains(QStringLiteral("FOREIGN KEY"), Qt::CaseInsensitive))
        return;
    if (OnImageInUse)
        OnImageInUse();
    action = TDataAction::Abort;
}
