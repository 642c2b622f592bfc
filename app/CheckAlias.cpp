#include "CheckAlias.h"

#include "CatalogSchema.h"
#include "Databases.h"
#include "EngineConfig.h"
#include "MessageBoxes.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QFileInfo>

bool CheckDatabaseAlias()
{
    const QString alias = QString::fromUtf16(TGlobal::AliasName);
    try {
        TSession &session = TSession::Default();
        // An alias that exists is used as it is, wherever it points.
        if (session.IsAlias(alias))
            return true;
        const QString path = CatalogSchema::DefaultFilePath();
        // The catalogue that a new installation starts with. A file already there (a catalogue whose
        // alias was lost) is kept as it is.
        if (!QFileInfo::exists(path))
            CatalogSchema::CreateFile(path);
        session.AddAlias(alias, QString::fromUtf16(TDatabase::DriverSqlite),
                         {QStringLiteral("DATABASE NAME=") + path, QStringLiteral("OPEN MODE=READ/WRITE")});
        session.SaveConfigFile();
        return true;
    } catch (const Exception &error) {
        TMessageBox::Show(nullptr, QCoreApplication::translate("CheckAlias", "Can not create database alias") + QStringLiteral("\r\n") + error.Message(),
                          QCoreApplication::translate("CheckAlias", "Error"), QMessageBox::Ok, QMessageBox::Critical);
        return false;
    }
}
