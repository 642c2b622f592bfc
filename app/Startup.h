#pragma once

#include <QMainWindow>

#include <memory>

class TGlobal;

// What the program holds from start-up to its end, in the order it is made.
struct TProgram
{
    std::unique_ptr<TGlobal> Global;
    std::unique_ptr<QMainWindow> MainWindow;
};

// The start-up sequence after the application object exists: application title and help file,
// the alias check, the data module, the main window. Returns nothing when the program must end;
// the user has then been told why.
std::unique_ptr<TProgram> StartProgram();

// StartProgram, then the message loop until the main window closes; the process exit code.
int RunProgram();
