#pragma once

#include "DataSources.h"
#include "Databases.h"
#include "Queries.h"
#include "Tables.h"

#include <QString>

// The data module: the one owner of catalogue data. It holds the connection to the catalogue, a
// private session, and every named data set that the windows and the cataloguing code use.
class TGlobal
{
    // First of all members, so a second data module fails before it builds anything.
    const bool FSingle = CheckNoInstance();
    static bool CheckNoInstance();

public:
    static constexpr const char16_t *AliasName = u"VOR-NEX";
    static constexpr const char16_t *DatabaseName = u"VOR_NEX";
    static constexpr const char16_t *SessionName = u"Private";

    // Connects through the alias and opens Folders, FullList, CDs and Images. Throws the engine's
    // error when the catalogue cannot be opened, is no catalogue, or is of a newer layout.
    TGlobal();
    ~TGlobal();
    TGlobal(const TGlobal &) = delete;
    TGlobal &operator=(const TGlobal &) = delete;

    // The single instance while one exists.
    static TGlobal *Instance() { return FInstance; }

    TSession Session{QString::fromUtf16(SessionName)};
    TDatabase Database;

    TTable Main;
    TTable Folders;
    TDataSource dsFolders;
    TTable FullList;
    TTable CDs;
    TTable CDs2;
    TTable Images;
    TTable ImageForList;
    TTable Images2;
    TDataSource dsImages2;
    TTable Images3;
    TTable Extention;
    TTable NFO;
    TTable ForDescription;
    TTable ForProperties;
    TDataSource dsProperties;
    TTable CDProperties;
    TTable ImageProperties;
    TTable TEMP_CD;
    TQuery FindEx;
    TQuery DeleteCD;
    TQuery FindDialog;
    TDataSource dsFindDialog;
    TStoredProc ImageNumber;
    TStoredProc FilesWithInfo;
    TStoredProc FoldersWithInfo;

    // Set by the operations that change volumes; RefreshViews clears it.
    bool DataChanged = false;
    // When anything changed, reopens the views' data sets so they show it.
    void RefreshViews();

    // The text of the properties' LocatedIn column: the volume label, ":\" and the folder path.
    void ForPropertiesLocatedInGetText(TField *sender, QString &text, bool displayText);
    // A new file type gets the next free number before it is written.
    void ImagesBeforePost(TDataSet *dataSet);
    // Extensions are kept in lower case.
    void ExtentionBeforePost(TDataSet *dataSet);
    // A type still in use is not deleted; the user is told why instead of an engine error.
    void Images2DeleteError(TDataSet *dataSet, EDatabaseError &error, TDataAction &action);
    void OpenProperties();

private:
    void SetUpDataSets();
    static inline TGlobal *FInstance = nullptr;
};
