// Speed of the data-aware grid, navigator and edit over a table of a million rows: the grid reads
// only the rows it shows, so binding it and moving through the table cost the same whatever the
// table's size. Run by hand with QT_QPA_PLATFORM=offscreen.

#include "BenchSupport.h"
#include "DBControls.h"
#include "DBGrids.h"
#include "DBNavigators.h"
#include "DataSources.h"
#include "Databases.h"
#include "Tables.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace {

constexpr int Rows = 1000000;
constexpr int Keys = 1000;

// A key as the user presses it, to whatever has the focus in the end.
void key(QWidget *widget, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
         const QString &text = {})
{
    QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, code, modifiers, text);
    QApplication::sendEvent(widget, &release);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("Bench"));
    db.SetDriverName(QStringLiteral("SQLITE"));
    db.SetParams({QStringLiteral("DATABASE NAME=") + dir.filePath(QStringLiteral("bench.db")),
                  QStringLiteral("CREATE=TRUE")});
    db.Open();
    db.ExecSQL(QStringLiteral(
        "CREATE TABLE Ext (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(12), Kind INTEGER)"));
    db.ExecSQL(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                              "INSERT INTO Ext (Name, Kind) SELECT printf('x%07d', i), i % 100 FROM n")
                   .arg(Rows));

    TTable table;
    table.SetDatabase(&db);
    table.SetTableName(QStringLiteral("Ext"));
    TDataSource source(&table);
    QWidget form;
    auto *layout = new QVBoxLayout(&form);
    auto *grid = new TDBGrid(&form);
    auto *navigator = new TDBNavigator(&form);
    auto *edit = new TDBEdit(&form);
    layout->addWidget(grid);
    layout->addWidget(navigator);
    layout->addWidget(edit);
    grid->setFixedHeight(420);
    form.resize(400, 520);
    form.show();
    QCoreApplication::processEvents();

    BenchOut() << "table of " << Rows << " rows" << Qt::endl;
    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "total"
               << "each" << qSetFieldWidth(0) << "   target" << Qt::endl;

    QElapsedTimer timer;
    timer.start();
    table.Open();
    grid->SetDataSource(&source);
    navigator->SetDataSource(&source);
    edit->SetDataSource(&source);
    edit->SetDataField(QStringLiteral("Name"));
    Report("open and bind grid, navigator, edit", MsSince(timer), -1, QStringLiteral("< 50"));
    BenchOut() << "    rows in the grid's window: " << grid->WindowRowCount() << Qt::endl;

    grid->setFocus();
    grid->SetSelectedIndex(1);
    timer.restart();
    for (int i = 0; i < Keys; ++i)
        key(grid, Qt::Key_Down);
    double ms = MsSince(timer);
    Report("Down key, 1,000 times", ms, ms / Keys, QStringLiteral("< 2 each"));

    timer.restart();
    for (int i = 0; i < 100; ++i)
        key(grid, Qt::Key_PageDown);
    ms = MsSince(timer);
    Report("PageDown key, 100 times", ms, ms / 100, QStringLiteral("< 5 each"));

    timer.restart();
    for (int i = 0; i < 20; ++i) {
        key(grid, Qt::Key_End, Qt::ControlModifier);
        key(grid, Qt::Key_Home, Qt::ControlModifier);
    }
    ms = MsSince(timer);
    Report("Ctrl+End then Ctrl+Home, 20 times", ms, ms / 40, QStringLiteral("< 10 each"));

    timer.restart();
    for (int i = 0; i < 100; ++i)
        table.Locate(QStringLiteral("ID"), TVariant(qint32(1 + (i * 7919) % Rows)));
    ms = MsSince(timer);
    Report("locate by ID with the controls bound, 100 times", ms, ms / 100, QStringLiteral("< 10 each"));

    timer.restart();
    for (int i = 0; i < 50; ++i) {
        key(grid, Qt::Key_Y, Qt::NoModifier, QStringLiteral("y"));
        key(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
        key(grid, Qt::Key_Down);
    }
    ms = MsSince(timer);
    Report("edit a cell and post by moving down, 50 times", ms, ms / 50, QStringLiteral("< 10 each"));
    return 0;
}
