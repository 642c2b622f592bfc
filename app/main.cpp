#include "ErrorHandlers.h"
#include "Startup.h"
#include "Translations.h"

#include <QLocale>

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    InstallTranslations(QLocale::system());
    return RunProgram();
}
