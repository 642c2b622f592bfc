#include "CheckAlias.h"

#include "CatalogSchema.h"
#include "DatabaseError.h"
#include "Databases.h"
#include "MessageBoxes.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void AddAlias(const QString &aliasName, const QString &path)
{
    TSession &session = TSession::Default();
    session.AddAlias(aliasName, QString::fromUtf16(TDatabase::DriverSqlite),
                     {QStringLiteral("DATABASE NAME=") + path, QStringLiteral("OPEN MODE=READ/WRITE")});
    session.SaveConfigFile();
}

// A new catalogue is built aside and put in place only once the alias that names it is saved: an
// alias that cannot be saved leaves no catalogue (nor its folder) behind, and a saved alias never
// names a catalogue that failed to be built.
void EnsureAliasAndCatalogue(const QString &aliasName)
{
    // An alias that names an empty database on a server gets its catalogue there. A server that
    // cannot be reached, or a database that holds something else, is no failure of the alias:
    // the data module's connection tells the user what is wrong.
    if (TSession::Default().IsAlias(aliasName)) {
        try {
            CatalogSchema::EnsureServerCatalogueOf(aliasName);
        } catch (const EDatabaseError &) {
        }
        return;
    }
    const QString path = CatalogSchema::DefaultFilePath();
    // A file already there (a catalogue whose alias was lost) is kept as it is.
    if (QFileInfo::exists(path)) {
        AddAlias(aliasName, path);
        return;
    }
    const QString folder = QFileInfo(path).absolutePath();
    const bool hadFolder = QFileInfo::exists(folder);
    const QString staged = path + QStringLiteral(".staged");
    try {
        QFile::remove(staged);
        CatalogSchema::CreateFile(staged);
        AddAlias(aliasName, path);
    } catch (...) {
        QFile::remove(staged);
        if (!hadFolder)
            QDir().rmdir(folder);
        throw;
    }
    if (!QFile::rename(staged, path)) {
        QFile::remove(staged);
        throw EDatabaseError(
            QCoreApplication::translate("CheckAlias", "Cannot create the catalogue %1").arg(path));
    }
}

} // namespace

bool CheckDatabaseAlias()
{
    try {
        EnsureAliasAndCatalogue(QString::fromUtf16(TGlobal::AliasName));
        return true;
    } catch (const Exception &error) {
        TMessageBox::Show(nullptr,
                          QCoreApplication::translate("CheckAlias", "Can not create database alias") +
                              QStringLiteral("\r\n") + error.Message(),
                          QCoreApplication::translate("CheckAlias", "Error"), QMessageBox::Ok,
                          QMessageBox::Critical);
        return false;
    }
}
