#pragma once

#include <QString>
#include <memory>

class TCDEx;
class TGlobal;
class TProp;

// What the program holds from start-up to its end, in the order it is made.
struct TProgram
{
    std::unique_ptr<TGlobal> Global;
    std::unique_ptr<TCDEx> MainWindow;
    std::unique_ptr<TProp> Prop;

    TProgram();
    ~TProgram();
};

// The start-up sequence after the application object exists: application title and help file,
// the alias check, the data module, the main window, the properties dialog. Returns nothing when the program
// must end; the user has then been told why.
std::unique_ptr<TProgram> StartProgram();

// StartProgram, then the message loop until the main window closes; the process exit code.
int RunProgram();

// The help's first page for a program in programFolder: the HTML help installed with it
// (share/vor-nex/help beside its bin folder), or else the copy built into the program, which a
// program run from its build folder reads.
QString HelpIndexPage(const QString &programFolder);
