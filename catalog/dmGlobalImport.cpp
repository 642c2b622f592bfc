// Importing the descriptions of a volume from the info files on its disk.

#include "FileNames.h"
#include "InfoFiles.h"
#include "MountedSources.h"
#include "VolumeServices.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstring>

namespace {

// What follows the last separator; the queries give names with either kind.
QString fileNamePart(const QString &name)
{
    const qsizetype separator = qMax(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return name.mid(separator + 1);
}

// The path an info file is named by, for telling the user about one that is refused.
QString writtenPath(const QString &rootPath, const QString &folder, const QString &infoName)
{
    QString path = rootPath;
    if (!path.endsWith(u'/'))
        path += u'/';
    if (!folder.isEmpty())
        path += folder + u'/';
    return path + infoName;
}

bool discUnreadable(int error)
{
    return error == EIO || error == ENXIO || error == ENOMEDIUM;
}

} // namespace

QList<TSkippedInfoFile> TGlobal::LoadDescriptions(int cd, const QString &rootPath)
{
    TMountedSource source(rootPath);
    return LoadDescriptions(cd, source);
}

QList<TSkippedInfoFile> TGlobal::LoadDescriptions(int cd, TVolumeSource &source)
{
    // The import writes in one transaction that DoProgress commits at each report it makes, and
    // that is committed at the end and when an error ends the import: what was posted stays.
    const bool ownTransaction = !Database.InTransaction();
    if (ownTransaction)
        Database.StartTransaction();
    // Inside a caller's transaction (an update) nothing is committed before the caller says so.
    const bool progressCommits = FProgressCommits;
    FProgressCommits = ownTransaction;
    auto commit = [&] {
        FProgressCommits = progressCommits;
        if (ownTransaction && Database.InTransaction())
            Database.Commit();
    };

    QList<TSkippedInfoFile> skipped;
    // One info file often describes the files after it in a row: it is named once.
    auto skip = [&skipped](const QString &path, const QString &reason) {
        if (skipped.isEmpty() || skipped.last().Path != path)
            skipped.append({path, reason});
    };
    try {
        // The saved queries take the volume from TEMP_CD.
        TEMP_CD.Open();
        TEMP_CD.EmptyTable();
        TEMP_CD.Append();
        TEMP_CD.FieldByName(QStringLiteral("ID"))->SetAsInteger(cd);
        TEMP_CD.Post();
        TEMP_CD.Close();
        // After a walk of this volume, only the folders it noted; an ID no entry has stands for
        // a walk that noted none.
        Database.ExecSQL(QStringLiteral("DELETE FROM InfoFolders"));
        if (FNotedCd == cd) {
            Database.ExecSQL(QStringLiteral("INSERT INTO InfoFolders (ID) VALUES (-1)"));
            for (const int folder : std::as_const(FNotedFolders))
                Database.ExecSQL(QStringLiteral("INSERT OR IGNORE INTO InfoFolders (ID) VALUES (?)"),
                                 {TVariant(folder)});
        }
        FNotedCd = 0;
        FNotedFolders.clear();

        FStartTick = FLastReportTick = FLastCommitTick = TVolumeServices::Current().TickCount();
        ForDescription.Open();
        FilesWithInfo.Close();
        FilesWithInfo.Open();
        FoldersWithInfo.Close();
        FoldersWithInfo.Open();
        // The first ten steps stand for the work done before the first row.
        FRecordsTotal = FoldersWithInfo.RecordCount() + FilesWithInfo.RecordCount() + 10;
        FRecordsDone = 10;
        DoProgress(TProgressKind::Records);

        // "Process all" to the question about suspicious pairs holds for this import only.
        bool processAll = false;

        // Asks about a pair whose names differ: is infoName really the description of name?
        auto confirmed = [&](const QString &infoName, const QString &name) {
            if (processAll || fileNamePart(infoName).compare(fileNamePart(name), Qt::CaseInsensitive) == 0)
                return true;
            switch (OnConfirmSuspicious ? OnConfirmSuspicious(infoName, name) : TSuspiciousAnswer::Skip) {
            case TSuspiciousAnswer::ProcessAll:
                processAll = true;
                return true;
            case TSuspiciousAnswer::ProcessThis:
                return true;
            case TSuspiciousAnswer::Skip:
                break;
            }
            return false;
        };

        // One pass over a query's rows. The question is asked only about an entry that exists
        // and an info file that could be read, and the file is read before the entry is edited,
        // so an edit is never left open by a file that cannot be read.
        TField *description = ForDescription.FieldByName(QStringLiteral("Description"));
        auto importRows = [&](TStoredProc &rows, const QString &folderField, bool forFiles) {
            // Counting read every row already: they are walked again, not asked for again.
            rows.First();
            TField *entryId = rows.FieldByName(QStringLiteral("EntryID"));
            TField *folderPath = rows.FieldByName(folderField);
            TField *infoName = rows.FieldByName(QStringLiteral("InfoName"));
            TField *name = forFiles ? rows.FieldByName(QStringLiteral("Name")) : nullptr;
            // An update reads only the info files it found new or changed, and those of the
            // entries it added: a description kept by the update is not overwritten.
            auto wanted = [&] {
                return !FImportFilter || FImportFilter->Entries.contains(entryId->AsInteger()) ||
                       FImportFilter->InfoFiles.contains(
                           InfoFileKey(folderPath->AsString(), infoName->AsString()));
            };
            for (; !rows.Eof(); rows.Next()) {
                if (ForDescription.FindKey({TVariant(entryId->AsInteger())}) && wanted()) {
                    const QString folder = folderPath->AsString().replace(u'\\', u'/');
                    const TFileBytes file =
                        source.ReadFile(folder, infoName->AsString(), MaxInfoFileSize + 1);
                    const QString shown = !file.Path.isEmpty() ? file.Path
                                                               : writtenPath(source.DisplayName(), folder,
                                                                             infoName->AsString());
                    if (file.Error == EXDEV) {
                        skip(shown, QCoreApplication::translate("TGlobal", "it is not on the volume"));
                    } else if (discUnreadable(file.Error)) {
                        // Going on with the next file would only fail again, slowly.
                        throw EInfoFileError(TextToFileName(shown), file.Error, true);
                    } else if (file.Error != 0) {
                        skip(shown, QString::fromLocal8Bit(std::strerror(file.Error)));
                    } else if (!forFiles || confirmed(infoName->AsString(), name->AsString())) {
                        if (const std::optional<QString> text =
                                InfoFileText(file.Bytes, infoName->AsString().toUtf8())) {
                            ForDescription.Edit();
                            try {
                                description->SetAsString(*text);
                                ForDescription.Post();
                                DataChanged = true;
                            } catch (...) {
                                ForDescription.Cancel();
                                throw;
                            }
                        }
                    }
                }
                ++FRecordsDone;
                DoProgress(TProgressKind::Records);
            }
            rows.Close();
        };

        importRows(FoldersWithInfo, QStringLiteral("Fullpath"), false);
        importRows(FilesWithInfo, QStringLiteral("FullPath"), true);
    } catch (...) {
        FoldersWithInfo.Close();
        FilesWithInfo.Close();
        commit();
        throw;
    }
    commit();
    return skipped;
}
