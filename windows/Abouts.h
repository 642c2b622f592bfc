#pragma once

#include <QDialog>

// The About box: the program's picture, name and version, what it does, and the licences and
// credits of what it is built from. Created for one modal run.
class TAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TAbout(QWidget *parent = nullptr);
};
