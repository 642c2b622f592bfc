// Speed of the data-aware tree view on a catalogue of 100,000 folders in 1,000 volumes, bound as the
// explorer binds its folder tree: the first load (one ahead), expanding a folder of 5,000
// subfolders, and following the cursor to a folder ten levels deep in collapsed folders. Built
// with the project, run by hand or `make bench`.

#include "BenchCatalogues.h"
#include "BenchSupport.h"
#include "CatalogSchema.h"
#include "DBCustomTreeView.h"
#include "Databases.h"
#include "ImageLists.h"
#include "Tables.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>

namespace {

constexpr int Volumes = 1000;
constexpr int ChainDepth = 10;
constexpr int FoldersPerVolume = 79; // besides the chain
constexpr int BigVolume = 500;
constexpr int BigFolderChildren = 5000;
constexpr int FilesPerRoot = 10;

struct TLayout
{
    qint64 BigFolder = 0;
    std::vector<qint64> ChainEnds; // the deepest folder of each volume's chain
};

[[noreturn]] void fail(const QString &what)
{
    BenchOut() << "unexpected result: " << what << Qt::endl;
    std::exit(1);
}

// Every volume: its root, a chain of ten folders one inside the other, 79 folders in the root and
// ten files. One volume's first root folder holds 5,000 folders of one folder each, and 5,000
// files. 100,000 folders in all.
TLayout BuildCatalogue(TDatabase &db)
{
    TLayout layout;
    qint64 id = 0;
    const QString sql = QStringLiteral(
        "INSERT INTO Entries (ID, Parent, Name, Size, ImageID, CD, Folder) VALUES (?, ?, ?, 0, ?, ?, ?)");
    auto add = [&](const TVariant &parent, const QString &name, int image, qint64 volume, bool folder) {
        db.ExecSQL(sql, {TVariant(++id), parent, TVariant(name), TVariant(qint32(image)), TVariant(volume),
                         TVariant(folder)});
        return id;
    };
    db.StartTransaction();
    for (int v = 0; v < Volumes; ++v) {
        const qint64 volume = add(TVariant::Null(), QStringLiteral("Volume %1").arg(v), 2, 0, true);
        qint64 parent = volume;
        for (int level = 1; level <= ChainDepth; ++level)
            parent = add(TVariant(parent), QStringLiteral("level %1").arg(level), 1, volume, true);
        layout.ChainEnds.push_back(parent);
        for (int k = 0; k < FoldersPerVolume; ++k) {
            const qint64 folder = add(TVariant(volume), QStringLiteral("folder %1").arg(k), 1, volume, true);
            if (v != BigVolume || k != 0)
                continue;
            layout.BigFolder = folder;
            for (int c = 0; c < BigFolderChildren; ++c) {
                const qint64 child = add(TVariant(folder), QStringLiteral("sub %1").arg(c), 1, volume, true);
                add(TVariant(child), QStringLiteral("inner"), 1, volume, true);
                add(TVariant(folder), QStringLiteral("file%1.txt").arg(c), 3, volume, false);
            }
        }
        for (int f = 0; f < FilesPerRoot; ++f)
            add(TVariant(volume), QStringLiteral("readme%1.txt").arg(f), 3, volume, false);
    }
    db.Commit();
    return layout;
}

TVariant Key(qint64 id)
{
    return TVariant::Array({TVariant(qint32(id))});
}

} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenPlatform();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TDatabase db;
    OpenScratchDatabase(db, dir.filePath(QStringLiteral("tree.db")));
    CatalogSchema::Create(db);
    QElapsedTimer timer;
    timer.start();
    const TLayout layout = BuildCatalogue(db);
    BenchOut() << "catalogue of 100,000 folders built in " << qint64(MsSince(timer)) << " ms" << Qt::endl;

    TTable folders;
    folders.SetDatabase(&db);
    folders.SetTableName(QStringLiteral("Entries"));
    folders.SetFilter(QStringLiteral("Folder"));
    folders.SetFiltered(true);
    folders.SetIndexFieldNames(QStringLiteral("Parent"));
    TDataSource source(&folders);
    TCustomImageList images;
    for (int i = 0; i < 4; ++i) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(QColor::fromHsv(i * 60, 200, 220));
        images.Add(image);
    }
    TDBTreeView tree;
    tree.SetNameField(QStringLiteral("Name"));
    tree.SetImageIDField(QStringLiteral("ImageID"));
    tree.SetLinksFields(QStringLiteral("Parent->ID"));
    tree.SetRootKey(QStringLiteral("null"));
    tree.SetReadOnly(true);
    tree.SetImages(&images);
    tree.resize(209, 400);
    tree.show();
    tree.SetDataSource(&source);
    folders.Open();

    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "first"
               << "again" << qSetFieldWidth(0) << "   target" << Qt::endl;

    // The first load, as the posted reload runs it, then the paint that shows it.
    double load[2];
    double paint = 0;
    for (double &ms : load) {
        tree.ScheduleReload();
        timer.restart();
        QCoreApplication::sendPostedEvents(&tree, 0);
        ms = MsSince(timer);
        timer.restart();
        tree.grab();
        paint = MsSince(timer);
    }
    if (tree.Items()->TopLevelCount() != Volumes || tree.Items()->Count() != 2 * Volumes)
        fail(QStringLiteral("%1 nodes after the load").arg(tree.Items()->Count()));
    Report("load, one ahead (1,000 volumes, 2,000 nodes)", load[0], load[1], QStringLiteral("< 200"));
    Report("  then paint", paint, -1, QString());

    // Expanding the big folder: read its 5,000 children, each with its probe.
    if (!folders.Locate(QStringLiteral("ID"), TVariant(qint32(layout.BigFolder))) || !tree.Selected())
        fail(QStringLiteral("the big folder was not selected"));
    TDBTreeNode *big = tree.Selected();
    double expand[2];
    for (double &ms : expand) {
        big->Collapse(false);
        timer.restart();
        big->Expand(false);
        ms = MsSince(timer);
    }
    if (big->Count() != BigFolderChildren || !big->Expanded())
        fail(QStringLiteral("%1 children of the big folder").arg(big->Count()));
    timer.restart();
    tree.grab();
    paint = MsSince(timer);
    Report("expand a folder of 5,000 subfolders", expand[0], expand[1], QStringLiteral("< 300"));
    Report("  then paint", paint, -1, QString());
    const int nodesAfterExpand = tree.Items()->Count();

    // The cursor moves to a folder ten levels deep in another, collapsed volume.
    double select[2];
    for (int i = 0; i < 2; ++i) {
        const qint64 target = layout.ChainEnds[size_t(100 + i * 300)];
        timer.restart();
        folders.Locate(QStringLiteral("ID"), TVariant(qint32(target)));
        select[i] = MsSince(timer);
        if (!tree.Selected() || !tree.Selected()->KeyEquals(Key(target)) || !tree.Selected()->IsVisible())
            fail(QStringLiteral("the deep folder was not selected"));
    }
    Report("select a folder 10 levels deep (collapsed)", select[0], select[1], QStringLiteral("< 50"));

    BenchOut() << "nodes: " << 2 * Volumes << " after the load, " << nodesAfterExpand
               << " after the expansion, " << tree.Items()->Count()
               << " after two selections (of 100,000 folders)" << Qt::endl;
    return 0;
}
