#include "CheckAlias.h"

#include "CatalogSchema.h"
#include "MessageBoxes.h"
#include "dmGlobal.h"

#include <QCoreApplication>

bool CheckDatabaseAlias()
{
    try {
        CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));
        return true;
    } catch (const Exception &error) {
        TMessageBox::Show(nullptr,
                          QCoreApplication::translate("CheckAlias", "Can not create database alias") + QStringLiteral("\r\n")
                              + error.Message(),
                          QCoreApplication::translate("CheckAlias", "Error"), QMessageBox::Ok, QMessageBox::Critical);
        return false;
    }
}
