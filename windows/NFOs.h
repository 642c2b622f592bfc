#pragma once

#include "DataSources.h"

#include <QDialog>

class TDBCheckBox;
class TDBGrid;
class TDBNavigator;

// The editor of the info-file patterns: which files on a disc are read as descriptions of their
// folder or of the files beside them. Every change goes straight to the catalogue.
class TNFO : public QDialog
{
    Q_OBJECT

public:
    explicit TNFO(QWidget *parent = nullptr);
    ~TNFO() override;

    void done(int result) override;

    TDBGrid *Grid = nullptr;
    TDBCheckBox *ForFolder = nullptr;
    TDBCheckBox *ForFile = nullptr;
    TDBNavigator *Navigator = nullptr;

private:
    TDataSource dsNFO;
};
