#pragma once

#include "VolumeServices.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <functional>

// Volume services for tests: the drives are folders with a label, serial and capacity the test
// sets. Listing folders and the tick count are the system's own until a test takes them over.
// The On... hooks let a test act at the moments a walk asks something: move the clock, take a
// folder away, count open handles, stop dead. Each runs after the double has its answer and
// before the answer is returned.
class TVolumeServicesDouble final : public TVolumeServices
{
public:
    TVolumeServicesDouble() = default;
    ~TVolumeServicesDouble() override;

    // A drive already there under rootPath takes the new settings.
    void AddDrive(const QString &rootPath, const QString &label, quint32 serial, qint64 capacity,
                  bool hasDisc = true);
    void RemoveDrive(const QString &rootPath);
    // Without a disc a drive has no volume information and no size, and nothing below its root
    // can be listed.
    void SetHasDisc(const QString &rootPath, bool hasDisc);
    // Every watcher this double made emits Changed().
    void EmitMountChange();

    // Root may read any folder, so a folder that cannot be listed is named here.
    void FailListing(const QString &path);
    void ClearListingFailures();

    // From then on TickCount() answers ms and moves only when told.
    void SetTick(quint32 ms);
    void AdvanceTick(quint32 ms);
    // Every reading of TickCount() moves the clock on by ms first; 0 stops that.
    void SetTickStep(quint32 ms);

    // The folder's path cleaned, as the double compares it.
    std::function<void(const QString &path)> OnListDirectory;
    std::function<void(const QString &rootPath)> OnVolumeInformation;
    std::function<void()> OnTickCount;

    QList<TDrive> Drives() override;
    std::optional<TVolumeInfo> VolumeInformation(const QString &rootPath) override;
    std::optional<qint64> DiskSize(const QString &rootPath) override;
    TMountWatcher *NewMountWatcher(QObject *parent) override;
    std::optional<QList<TDirEntry>> ListDirectory(const QString &path) override;
    quint32 TickCount() override;
    // A folder on a drive of the double lies on that drive's volume, whatever is mounted where.
    std::optional<TFolderLocation> LocateFolder(const QString &path) override;

private:
    struct TDoubleDrive
    {
        QString RootPath;
        QString Label;
        quint32 Serial = 0;
        qint64 Capacity = 0;
        bool HasDisc = true;
    };

    TDoubleDrive *Find(const QString &rootPath);

    QList<TDoubleDrive> FDrives;
    QSet<QString> FFailingPaths;
    std::optional<quint32> FTick;
    quint32 FTickStep = 0;
    QList<QPointer<TMountWatcher>> FWatchers;
};
