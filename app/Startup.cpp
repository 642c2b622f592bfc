#include "Startup.h"

#include "CheckAlias.h"
#include "MessageBoxes.h"
#include "SysUtils.h"
#include "dmGlobal.h"

#include <QApplication>
#include <QLabel>

std::unique_ptr<TProgram> StartProgram()
{
    QApplication::setApplicationName(QStringLiteral("VOR-NEX"));
    QApplication::setApplicationDisplayName(QStringLiteral("VOR-NEX"));
    qApp->setProperty("HelpFile", QStringLiteral("Vor_nex.hlp"));

    if (!CheckDatabaseAlias())
        return nullptr;

    auto program = std::make_unique<TProgram>();
    try {
        program->Global = std::make_unique<TGlobal>();
    } catch (const Exception &error) {
        // The catalogue cannot be used (missing, not a catalogue, damaged, too new): the engine's
        // message says why, and the file stays exactly as it is.
        TMessageBox::Show(nullptr, error.Message(), QCoreApplication::translate("Startup", "Error"), QMessageBox::Ok,
                          QMessageBox::Critical);
        return nullptr;
    }

    // The explorer window takes this place once it exists.
    program->MainWindow = std::make_unique<QMainWindow>();
    program->MainWindow->setObjectName(QStringLiteral("CDEx"));
    program->MainWindow->setWindowTitle(QStringLiteral("VOR_NEX"));
    auto *label = new QLabel(QCoreApplication::translate("Startup", "The catalogue is open."), program->MainWindow.get());
    label->setAlignment(Qt::AlignCenter);
    program->MainWindow->setCentralWidget(label);
    program->MainWindow->resize(603, 455);
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
