#include "GlobalQuestions.h"

#include "MessageBoxes.h"
#include "dmGlobal.h"

#include <QCoreApplication>

// The texts keep the data module's translation context, where they were first written.
void AskInMessageBoxes(TGlobal &global)
{
    global.OnConfirmReplace = [] {
        return TMessageBox::Show(
                   nullptr,
                   QCoreApplication::translate(
                       "TGlobal", "This disk is already in the library.\r\nUpdating the library will "
                                  "drop all\r\nmanually edited file descriprtions\r\nSelect OK to "
                                  "proceeed updating anyway"),
                   QCoreApplication::translate("TGlobal", "Warning"), QMessageBox::Ok | QMessageBox::Cancel,
                   QMessageBox::Warning) == QMessageBox::Ok;
    };
    global.OnConfirmSuspicious = [](const QString &infoName, const QString &name) {
        const QString question =
            QCoreApplication::translate(
                "TGlobal", "A suspicious file name and description file name mathcing found:\r\n%1\r\n%2\r\n"
                           "Select CANCEL to skip this file\r\nSelect YES to process all suspicious file\r\n"
                           "Select NO to process this file")
                .arg(infoName, name);
        switch (TMessageBox::Show(
            nullptr, question, QCoreApplication::translate("TGlobal", "Suspicious description file name"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question)) {
        case QMessageBox::Yes:
            return TSuspiciousAnswer::ProcessAll;
        case QMessageBox::No:
            return TSuspiciousAnswer::ProcessThis;
        default:
            return TSuspiciousAnswer::Skip;
        }
    };
    global.OnImageInUse = [] {
        TMessageBox::Show(
            nullptr, QCoreApplication::translate("TGlobal", "This image is in use and can not be deleted."),
            QCoreApplication::translate("TGlobal", "Information"), QMessageBox::Ok, QMessageBox::Information);
    };
}
