// Speed of the data-aware list view and image list: loading a table's records as items, the
// focus following the cursor through a long list, sorting a long list by a column, and reloading
// the pictures of 200 file types.
// Built with the project, run by hand or `make bench`; needs no display (offscreen platform).

#include "BenchCatalogues.h"
#include "BenchSupport.h"
#include "DBImLst.h"
#include "DataBaseListView.h"
#include "Databases.h"
#include "DefaultTypes.h"
#include "Tables.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>

namespace {

[[noreturn]] void fail(const QString &what)
{
    BenchOut() << "unexpected result: " << what << Qt::endl;
    std::exit(1);
}

// A table shaped like Entries with `rows` files: what the explorer's list shows of a folder.
void makeTable(TDatabase &db, const QString &name, int rows)
{
    db.ExecSQL(
        QStringLiteral(
            "CREATE TABLE %1 (ID INTEGER PRIMARY KEY AUTOINCREMENT, Parent INTEGER, Name VARCHAR(255), "
            "Size BIGINT, Modified DATETIME, ImageID SMALLINT, Description TEXT)")
            .arg(name));
    db.ExecSQL(QStringLiteral("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < %2) "
                              "INSERT INTO %1 (Parent, Name, Size, Modified, ImageID, Description) "
                              "SELECT 1, 'file' || I || '.txt', I * 37, '2024-05-17 10:30:00.000', I % 40, "
                              "CASE WHEN I % 10 = 0 THEN 'described' END FROM N")
                   .arg(name)
                   .arg(rows));
}

struct TListFixture
{
    TTable Table;
    TDataSource Source{&Table};
    TDBListView View;

    TListFixture(TDatabase &db, const QString &tableName, TViewStyle style, TCustomImageList &small,
                 TCustomImageList &large)
    {
        Table.SetDatabase(&db);
        Table.SetTableName(tableName);
        Table.SetIndexName(QStringLiteral("PrimaryKey"));
        View.Columns()->Add(QStringLiteral("Name"), 220);
        View.Columns()->Add(QStringLiteral("Size"), 70);
        View.Columns()->Add(QStringLiteral("Modified"), 82);
        View.Columns()->Add(QStringLiteral("Description"), 120);
        View.SetViewStyle(style);
        View.SetSmallImages(&small);
        View.SetLargeImages(&large);
        View.SetNameField(QStringLiteral("Name"));
        View.SetImageIDField(QStringLiteral("ImageID"));
        View.SetKeyFields(QStringLiteral("ID"));
        View.SetColumnsFields(QStringLiteral("Size;Modified;Description"));
        View.resize(640, 480);
        View.show();
        Table.Open();
    }

    // (items loaded, loaded and shown) in ms.
    std::pair<double, double> Load(int expected)
    {
        QElapsedTimer timer;
        timer.start();
        View.SetDataSource(&Source);
        QCoreApplication::sendPostedEvents(&View);
        const double loaded = MsSince(timer);
        QApplication::processEvents();
        View.grab();
        const double shown = MsSince(timer);
        if (View.Items()->Count() != expected)
            fail(QStringLiteral("%1 items loaded, %2 expected").arg(View.Items()->Count()).arg(expected));
        return {loaded, shown};
    }

    double Moves(int count)
    {
        Table.First();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < count; ++i)
            Table.Next();
        const double ms = MsSince(timer);
        const auto *focused = static_cast<TDBListItem *>(View.ItemFocused());
        if (!focused ||
            focused->Key()[0].AsInteger() != Table.FieldByName(QStringLiteral("ID"))->AsInteger() ||
            focused->Index() != count)
            fail(QStringLiteral("the focus did not follow the cursor"));
        return ms;
    }
};

void fillImages(TCustomImageList &list, int size)
{
    list.SetWidth(size);
    list.SetHeight(size);
    for (const TDefaultType &type : DefaultTypes())
        list.Add(QImage::fromData(DefaultPicture(type.ImageID, size), "BMP"));
}

} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenPlatform();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TDatabase db;
    OpenScratchDatabase(db, dir.filePath(QStringLiteral("list.db")));
    makeTable(db, QStringLiteral("Ten"), 10000);
    makeTable(db, QStringLiteral("Hundred"), 100000);
    TCustomImageList small;
    TCustomImageList large;
    fillImages(small, 16);
    fillImages(large, 32);

    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "items"
               << "shown" << qSetFieldWidth(0) << "   target" << Qt::endl;
    for (auto [table, rows, target] :
         {std::tuple{"Ten", 10000, "< 300"}, std::tuple{"Hundred", 100000, "< 3000"}}) {
        for (TViewStyle style : {vsReport, vsList, vsIcon}) {
            TListFixture list(db, QString::fromLatin1(table), style, small, large);
            const auto [loaded, shown] = list.Load(rows);
            const char *styleName = style == vsList ? "list" : style == vsReport ? "report" : "icons";
            const QByteArray what = QStringLiteral("load %1 records as items (%2)")
                                        .arg(QLocale(QLocale::English).toString(rows))
                                        .arg(QString::fromLatin1(styleName))
                                        .toUtf8();
            Report(what.constData(), loaded, shown, QString::fromLatin1(target));
        }
    }

    BenchOut() << Qt::endl
               << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "list"
               << "report" << qSetFieldWidth(0) << "   target" << Qt::endl;
    {
        TListFixture list(db, QStringLiteral("Hundred"), vsList, small, large);
        list.Load(100000);
        TListFixture report(db, QStringLiteral("Hundred"), vsReport, small, large);
        report.Load(100000);
        Report("1,000 cursor moves in 100,000 items", list.Moves(1000), report.Moves(1000),
               QStringLiteral("< 200"));
    }

    // A header click on a list of 100,000 items, then a second one, which reverses it; the view
    // is painted after each.
    BenchOut() << Qt::endl
               << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "ascending"
               << "descending" << qSetFieldWidth(0) << "   target" << Qt::endl;
    {
        TListFixture report(db, QStringLiteral("Hundred"), vsReport, small, large);
        report.Load(100000);
        report.View.Items()->Item(500)->SetFocused(true);
        for (auto [column, what] : {std::pair{0, "sort 100,000 items by name"}, std::pair{1, "  by size"},
                                    std::pair{2, "  by date"}}) {
            double ms[2];
            for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                QElapsedTimer timer;
                timer.start();
                report.View.SortBy(column, order);
                report.View.grab();
                ms[order == Qt::AscendingOrder ? 0 : 1] = MsSince(timer);
            }
            Report(what, ms[0], ms[1], QStringLiteral("< 300"));
        }
        TListItems &items = *report.View.Items();
        for (int i = 1; i < items.Count(); ++i)
            if (items[i - 1]->SortKey(2).toDouble() < items[i]->SortKey(2).toDouble())
                fail(QStringLiteral("the items are not sorted by date"));
        if (!report.View.ItemFocused() || report.View.ItemFocused()->Caption() != u"file501.txt")
            fail(QStringLiteral("the focus did not stay with its item"));
    }

    // The data module's two lists over a table of 200 file types.
    db.ExecSQL(QStringLiteral(
        "CREATE TABLE Images (ImageID SMALLINT PRIMARY KEY, CD BOOLEAN, Description VARCHAR(50), "
        "Large BLOB, Small BLOB)"));
    const std::vector<TDefaultType> types = DefaultTypes();
    for (int id = 0; id < 200; ++id) {
        const qint16 picture = types[size_t(id) % types.size()].ImageID;
        db.ExecSQL(QStringLiteral(
                       "INSERT INTO Images (ImageID, CD, Description, Large, Small) VALUES (?, 0, ?, ?, ?)"),
                   {TVariant(qint16(id)), TVariant(QStringLiteral("Type %1").arg(id)),
                    TVariant(DefaultPicture(picture, 32)), TVariant(DefaultPicture(picture, 16))});
    }
    TTable images;
    images.SetDatabase(&db);
    images.SetTableName(QStringLiteral("Images"));
    images.SetIndexFieldNames(QStringLiteral("ImageID"));
    images.SetReadOnly(true);
    images.Open();
    TDBImageList little;
    TDBImageList big;
    big.SetWidth(32);
    big.SetHeight(32);
    for (auto [list, field] : {std::pair{&little, "Small"}, std::pair{&big, "Large"}}) {
        list->SetIDFieldName(QStringLiteral("ImageID"));
        list->SetImageFieldName(QString::fromLatin1(field));
        list->SetDataSet(&images);
    }
    std::vector<double> runs;
    for (int run = 0; run < 11; ++run) {
        QElapsedTimer timer;
        timer.start();
        little.Reload();
        big.Reload();
        runs.push_back(MsSince(timer));
    }
    if (little.Count() != 200 || big.Count() != 200)
        fail(QStringLiteral("%1 and %2 pictures loaded, 200 expected").arg(little.Count()).arg(big.Count()));
    const double first = runs.front();
    std::sort(runs.begin(), runs.end());
    BenchOut() << Qt::endl
               << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "first"
               << "median" << qSetFieldWidth(0) << "   target" << Qt::endl;
    Report("reload both image lists of 200 types", first, runs[runs.size() / 2], QStringLiteral("< 50"));
    return 0;
}
