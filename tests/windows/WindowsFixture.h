#pragma once

// What every window test starts from: the catalogue fixture, the errors the program would show
// collected, and volumes that are temporary folders presented as drives by the double of the
// volume services, catalogued by the program's own walk.

#include "CatalogFixture.h"
#include "ErrorHandlers.h"
#include "GlobalQuestions.h"
#include "MessageBoxes.h"

#include <QDir>
#include <QTest>

class TWindowsFixture : public TCatalogFixture
{
public:
    TWindowsFixture()
    {
        TMessageBox::ClearShown();
        // A question no test expects must not wait for a user; the counts of questions tell.
        TMessageBox::SetAnswerAutomatically(true);
        SetExceptionDisplay([this](const QString &message) { Errors << message; });
        AskInMessageBoxes(*Global);
    }
    ~TWindowsFixture()
    {
        SetExceptionDisplay({});
        TMessageBox::SetAnswerAutomatically(false);
        TMessageBox::ClearShown();
    }

    // A file of the volume folder `volume` (made when missing), with its folders.
    void Write(const QString &volume, const QString &relative, const QByteArray &bytes)
    {
        WriteFile(VolumePath(volume) + QLatin1Char('/') + relative, bytes);
    }
    void Folder(const QString &volume, const QString &relative)
    {
        QDir().mkpath(VolumePath(volume) + QLatin1Char('/') + relative);
    }
    QString VolumePath(const QString &volume) const { return FVolumes.path() + QLatin1Char('/') + volume; }

    // Catalogues the volume folder under that label; the root entry's ID.
    int Catalogue(const QString &volume, const QString &label, quint32 serial,
                  const QString &name = QString())
    {
        const QString root = VolumePath(volume);
        QDir().mkpath(root);
        Services.AddDrive(root, label, serial, 1000000);
        const int cd = Global->LoadDisk(root, name.isEmpty() ? label : name, 2, false);
        Global->RefreshViews();
        return cd;
    }

    QStringList Errors;

private:
    QTemporaryDir FVolumes;
};
