#pragma once

#include <QIcon>
#include <QPixmap>

// The program's picture: a disc under a magnifying glass, drawn by our own code at any size so
// that it stays sharp in the window frame, the task bar and the About box alike.
QPixmap ProgramPicture(int size);
QIcon ProgramIcon();
