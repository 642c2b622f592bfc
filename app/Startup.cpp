#include "Startup.h"

#include "CDExs.h"
#include "CheckAlias.h"
#include "GlobalQuestions.h"
#include "HelpWindows.h"
#include "MessageBoxes.h"
#include "Properties.h"
#include "SysUtils.h"
#include "dmGlobal.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

QString HelpIndexPage(const QString &programFolder)
{
    const QString installed =
        QDir::cleanPath(programFolder + QStringLiteral("/" VNX_HELP_FROM_BIN "/index.html"));
    return QFileInfo(installed).isFile() ? installed : QStringLiteral(":/help/index.html");
}

TProgram::TProgram() = default;
// The windows go before the data module their views are bound to.
TProgram::~TProgram()
{
    Prop.reset();
    MainWindow.reset();
}

std::unique_ptr<TProgram> StartProgram()
{
    QApplication::setApplicationName(QStringLiteral("VOR-NEX"));
    QApplication::setApplicationDisplayName(QStringLiteral("VOR-NEX"));
    THelp::SetHelpFile(QStringLiteral("Vor_nex.hlp"));
    THelp::SetIndexPage(HelpIndexPage(QCoreApplication::applicationDirPath()));
    // Desktops find the program's entry, and with it its name and icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vornex.vornex"));

    if (!CheckDatabaseAlias())
        return nullptr;

    auto program = std::make_unique<TProgram>();
    try {
        program->Global = std::make_unique<TGlobal>();
    } catch (const Exception &error) {
        // The catalogue cannot be used (missing, not a catalogue, damaged, too new): the engine's
        // message says why, and the file stays exactly as it is.
        TMessageBox::Show(nullptr, error.Message(), QCoreApplication::translate("Startup", "Error"),
                          QMessageBox::Ok, QMessageBox::Critical);
        return nullptr;
    }
    AskInMessageBoxes(*program->Global);
    // A scan is over as soon as its entries are written; volumes another program added since the
    // last start are indexed as well.
    program->Global->SetIndexInBackground(true);
    program->Global->IndexNewEntries();

    program->MainWindow = std::make_unique<TCDEx>();
    program->Prop = std::make_unique<TProp>(program->MainWindow.get());
    return program;
}

int RunProgram()
{
    std::unique_ptr<TProgram> program = StartProgram();
    if (!program)
        return 1;
    program->MainWindow->show();
    return QApplication::exec();
}
