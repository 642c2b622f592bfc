#pragma once

// What every window test starts from: fresh configuration and data folders, a catalogue made as
// the program makes it, and volumes that are temporary folders presented as drives by the double
// of the volume services, catalogued by the program's own walk.

#include "CatalogSchema.h"
#include "ErrorHandlers.h"
#include "GlobalQuestions.h"
#include "MessageBoxes.h"
#include "VolumeServicesDouble.h"
#include "dmGlobal.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TWindowsFixture
{
public:
    TWindowsFixture()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(FData.path()));
        TMessageBox::ClearShown();
        TMessageBox::SetAnswerAutomatically(true);
        SetExceptionDisplay([this](const QString &message) { Errors << message; });
        CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));
        Global = std::make_unique<TGlobal>();
        AskInMessageBoxes(*Global);
        TVolumeServices::SetCurrent(&Services);
    }
    ~TWindowsFixture()
    {
        TVolumeServices::SetCurrent(nullptr);
        SetExceptionDisplay({});
        TMessageBox::SetAnswerAutomatically(false);
    }
    TWindowsFixture(const TWindowsFixture &) = delete;
    TWindowsFixture &operator=(const TWindowsFixture &) = delete;

    // A file of the volume folder `volume` (made when missing), with its folders.
    void Write(const QString &volume, const QString &relative, const QByteArray &bytes)
    {
        const QString path = VolumePath(volume) + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
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

    TVolumeServicesDouble Services;
    std::unique_ptr<TGlobal> Global;
    QStringList Errors;

private:
    QTemporaryDir FConfig;
    QTemporaryDir FData;
    QTemporaryDir FVolumes;
};
