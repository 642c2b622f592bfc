// The explorer over a catalogue of 1,000 volumes and 2,000,000 entries: from start to the window
// shown and usable, opening a folder of 2,000 entries, a search for everything, a key typed in
// the quick search box until its first results are painted, and deleting a volume of 20,000
// entries.
// Built with the project, run by hand or `make bench`.

#include "BenchCatalogues.h"
#include "BenchSupport.h"
#include "CDExs.h"
#include "CatalogSchema.h"
#include "DBCustomTreeView.h"
#include "DataBaseListView.h"
#include "FindDialogs.h"
#include "QuickSearches.h"
#include "dmGlobal.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace {

constexpr int Volumes = 1000;
constexpr int Entries = 2000000;
// Volume 0: nine folders of 2,000 files (the first also holds the other eight).
constexpr int WideVolume = 1 + 9 * 2001;
constexpr int DeletedVolume = 20000;

// Lets the posted reloads run until `done` holds; false after 30 s.
bool RunUntil(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 30000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Types one character into a widget as the keyboard does.
void TypeKey(QWidget *widget, QChar character)
{
    const int key = character.toUpper().unicode();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(character));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(character));
    QApplication::sendEvent(widget, &release);
}

// Paints of a widget, counted from when `armed` is set.
class TPaintWatch : public QObject
{
public:
    bool Armed = false;
    std::function<void()> OnPaint;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (Armed && event->type() == QEvent::Paint && OnPaint)
            OnPaint();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenPlatform();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    UseScratchHome(dir);
    MakeCatalogueFile();

    qint64 wideRoot = 1, deletedRoot = 0;
    {
        TDatabase database;
        database.SetAliasName(QString::fromUtf16(TGlobal::AliasName));
        database.Open();
        QElapsedTimer timer;
        timer.start();
        database.StartTransaction();
        const int regular = (Entries - WideVolume - DeletedVolume) / (Volumes - 2);
        qint64 root = 1;
        for (int volume = 0; volume < Volumes; ++volume) {
            const int count = volume == 0 ? WideVolume : volume == 1 ? DeletedVolume : regular;
            const int files = volume == 0 ? 2000 : 20;
            if (volume == 1)
                deletedRoot = root;
            AddGeneratedVolume(database, root, count, files, 8, volume,
                               QStringLiteral("Disk %1").arg(volume, 4, 10, QLatin1Char('0')));
            root += count;
        }
        database.Commit();
        BenchOut() << "catalogue of " << (root - 1) << " entries in " << Volumes << " volumes made in "
                   << qRound(MsSince(timer)) << " ms" << Qt::endl;
        // As the scans that wrote them would have left them: in the search indexes.
        timer.restart();
        CatalogSchema::UpdateSearchIndexes(database);
        BenchOut() << "  indexed in " << qRound(MsSince(timer)) << " ms" << Qt::endl;
    }

    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "explorer"
               << "" << qSetFieldWidth(0) << "   target" << Qt::endl;

    QElapsedTimer timer;
    timer.start();
    TGlobal global;
    TCDEx window;
    window.show();
    if (!RunUntil([&] { return window.FoldersTree->Items()->GetFirstNode() != nullptr; }))
        return 1;
    QCoreApplication::processEvents();
    Report("start to the explorer shown and usable", MsSince(timer), -1, QStringLiteral("< 1000"));

    // The second folder of the wide volume: 2,000 files.
    const qint64 wideFolder = wideRoot + 2;
    timer.restart();
    global.Folders.Locate(QStringLiteral("ID"), TVariant(wideFolder), {});
    if (!RunUntil([&] { return window.EntriesList->Items()->Count() == 2000; }))
        return 1;
    Report("open a folder of 2,000 entries, list filled", MsSince(timer), -1, QStringLiteral("< 150"));

    // The find window: the first rows painted, the longest the window went without taking an
    // event, and the count shown, for the default criteria and for named searches.
    auto search = [](const QString &named, const char *what) {
        TFind find;
        find.FillChoices();
        find.show();
        find.Edit1->setText(named);
        QElapsedTimer clock;
        qint64 longest = 0;
        qint64 lastTick = 0;
        QTimer ticks;
        ticks.setInterval(0);
        QObject::connect(&ticks, &QTimer::timeout, &ticks, [&] {
            longest = std::max(longest, clock.elapsed() - lastTick);
            lastTick = clock.elapsed();
        });
        clock.start();
        find.Button1Click();
        ticks.start();
        longest = std::max(longest, clock.elapsed());
        lastTick = clock.elapsed();
        double firstRows = -1;
        if (!RunUntil([&] {
                if (firstRows < 0 && (find.Entries->Items()->Count() > 0 ||
                                      find.SB2->currentMessage().contains(QStringLiteral("found"))))
                    firstRows = double(clock.elapsed());
                return find.SB2->currentMessage().contains(QStringLiteral("found"));
            }))
            return false;
        const double counted = double(clock.elapsed());
        Report(QStringLiteral("find %1: first rows").arg(QString::fromLatin1(what)).toUtf8().constData(),
               firstRows, -1, QStringLiteral("< 50 + engine"));
        Report("  the window held at most", double(longest), -1, QStringLiteral("< 100"));
        Report("  the count shown", counted, -1, QStringLiteral("(for information)"));
        BenchOut() << "    " << find.SB2->currentMessage() << ", " << find.Entries->Items()->Count()
                   << " items" << Qt::endl;
        return true;
    };
    if (!search(QStringLiteral("*"), "default criteria") ||
        !search(QStringLiteral("*photo*"), "\"*photo*\"") ||
        !search(QStringLiteral("*4242*"), "\"*4242*\"") || !search(QStringLiteral("*qzqz*"), "\"*qzqz*\""))
        return 1;

    // The quick search: `before` is typed and searched first; after a pause (so the key is not
    // held back to join others), the last key, until the first of its results is painted.
    auto quick = [&](const QString &before, QChar last, const char *what) {
        TQuickSearch *search = window.QuickSearch;
        search->Clear();
        search->SearchBox->setFocus();
        for (QChar character : before)
            TypeKey(search->SearchBox, character);
        const auto finished = [search] {
            const QString status = search->SearchStatus->text();
            return !status.isEmpty() && !status.startsWith(QStringLiteral("Searching"));
        };
        if (!before.isEmpty() && !RunUntil(finished))
            return false;
        QThread::msleep(200);
        QCoreApplication::processEvents();

        QElapsedTimer clock;
        double arrived = -1, painted = -1;
        qint64 longest = 0, lastTick = 0;
        QTimer ticks;
        ticks.setInterval(0);
        QObject::connect(&ticks, &QTimer::timeout, &ticks, [&] {
            longest = std::max(longest, clock.elapsed() - lastTick);
            lastTick = clock.elapsed();
        });
        TPaintWatch watch;
        watch.OnPaint = [&] {
            if (arrived >= 0 && painted < 0)
                painted = double(clock.elapsed());
        };
        QWidget *viewport = search->SearchResults->Viewport();
        viewport->installEventFilter(&watch);
        watch.Armed = true;
        // The results of the search before stay until the new one has rows of its own.
        QAbstractItemModel *model = search->SearchResults->ActivePane()->model();
        const QMetaObject::Connection inserted =
            QObject::connect(model, &QAbstractItemModel::rowsInserted, &watch, [&] {
                if (arrived < 0)
                    arrived = double(clock.elapsed());
            });
        clock.start();
        TypeKey(search->SearchBox, last);
        ticks.start();
        longest = clock.elapsed();
        lastTick = clock.elapsed();
        const bool done = RunUntil([&] { return finished() && (painted >= 0 || arrived < 0); });
        const double all = double(clock.elapsed());
        QObject::disconnect(inserted);
        viewport->removeEventFilter(&watch);
        if (!done)
            return false;
        Report(QStringLiteral("quick search %1: key to rows painted")
                   .arg(QString::fromLatin1(what))
                   .toUtf8()
                   .constData(),
               painted, -1, QStringLiteral("<= 50"));
        Report("  the window held at most", double(longest), -1, QStringLiteral("< 100"));
        Report("  the search done", all, -1, QStringLiteral("(for information)"));
        BenchOut() << "    " << search->SearchStatus->text() << Qt::endl;
        return true;
    };
    if (!quick(QString(), u'p', "\"p\"") || !quick(QStringLiteral("phot"), u'o', "\"photo\"") ||
        !quick(QStringLiteral("424"), u'2', "\"4242\"") || !quick(QStringLiteral("qzq"), u'z', "\"qzqz\""))
        return 1;
    window.QuickSearch->Clear();

    global.Folders.Locate(QStringLiteral("ID"), TVariant(deletedRoot), {});
    RunUntil([] { return true; });
    timer.restart();
    window.Delete1Click();
    QCoreApplication::processEvents();
    Report("delete a volume of 20,000 entries", MsSince(timer), -1, QStringLiteral("< 1000"));
    return 0;
}
