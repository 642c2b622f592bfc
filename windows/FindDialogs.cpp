#include "FindDialogs.h"

#include "BusyAnimations.h"
#include "DataBaseListView.h"
#include "EntryOpeners.h"
#include "ErrorHandlers.h"
#include "FindCounts.h"
#include "FindCriteria.h"
#include "Hourglass.h"
#include "Properties.h"
#include "SysUtils.h"
#include "ViewMenus.h"
#include "WindowSettings.h"
#include "dmGlobal.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int HeightBefore = 225;
constexpr int HeightAfter = 370;
// A search for everything in a catalogue of millions would otherwise hold millions of items: the
// list shows this many, and the status line tells how many there are.
constexpr int RowsShown = 20000;
// Enough for the first screenful at any window size; the rest follow without holding the window.
constexpr int FirstRowsShown = 200;

TGlobal &Global()
{
    return *TGlobal::Instance();
}

// The desktop's short date format, but with the whole year: a two-digit year would be read back
// as one of the last century.
QString ShortDateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")) && format.contains(QStringLiteral("yy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

std::optional<QDate> ParseDate(const QString &text)
{
    const QDate date = QLocale().toDate(text.trimmed(), ShortDateFormat());
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

QDate ReadDate(const QLineEdit *edit)
{
    const std::optional<QDate> date = ParseDate(edit->text());
    if (!date)
        throw EConvertError(TFind::tr("'%1' is not a valid date and time").arg(edit->text()));
    return *date;
}

// The chosen item of an editable list, or -1 when the text typed is none of its items.
int ChosenIndex(const QComboBox *box)
{
    const int index = box->currentIndex();
    return index >= 0 && box->currentText() == box->itemText(index) ? index : -1;
}

} // namespace

TFind::TFind(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Find"));
    setWindowTitle(tr("Find"));
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);

    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));

    auto *nameLoc = new QWidget;
    nameLoc->setObjectName(QStringLiteral("NameLoc"));
    Edit1 = new QLineEdit(QStringLiteral("*"), nameLoc);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    ComboBox2 = new QComboBox(nameLoc);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    CheckBox1 = new QCheckBox(tr("Whole match"), nameLoc);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Edit5 = new QLineEdit(nameLoc);
    Edit5->setObjectName(QStringLiteral("Edit5"));
    Edit5->setToolTip(
        tr("Words the description holds, in any order; the last one may be the start of a word"));
    auto *nameGrid = new QGridLayout(nameLoc);
    nameGrid->addWidget(new QLabel(tr("Named:"), nameLoc), 0, 0);
    nameGrid->addWidget(Edit1, 0, 1);
    nameGrid->addWidget(CheckBox1, 1, 1);
    auto *textLabel = new QLabel(tr("Containing &text:"), nameLoc);
    textLabel->setBuddy(Edit5);
    nameGrid->addWidget(textLabel, 2, 0);
    nameGrid->addWidget(Edit5, 2, 1);
    nameGrid->addWidget(new QLabel(tr("Look in:"), nameLoc), 3, 0);
    nameGrid->addWidget(ComboBox2, 3, 1);
    nameGrid->setRowStretch(4, 1);
    Pages->addTab(nameLoc, tr("Name && Location"));

    auto *dateMod = new QWidget;
    dateMod->setObjectName(QStringLiteral("DateMod"));
    auto *group = new QGroupBox(dateMod);
    RadioButton1 = new QRadioButton(tr("All Files"), group);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(tr("Find all files modified:"), group);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    Label3 = new QLabel(tr("between"), group);
    Edit3 = new QLineEdit(group);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Label4 = new QLabel(tr("and"), group);
    Edit4 = new QLineEdit(group);
    Edit4->setObjectName(QStringLiteral("Edit4"));
    for (QWidget *w : {static_cast<QWidget *>(Label3), static_cast<QWidget *>(Edit3),
                       static_cast<QWidget *>(Label4), static_cast<QWidget *>(Edit4)})
        w->setEnabled(false);
    auto *dateGrid = new QGridLayout(group);
    dateGrid->addWidget(RadioButton1, 0, 0, 1, 4);
    dateGrid->addWidget(RadioButton2, 1, 0, 1, 4);
    dateGrid->addWidget(Label3, 2, 0);
    dateGrid->addWidget(Edit3, 2, 1);
    dateGrid->addWidget(Label4, 2, 2);
    dateGrid->addWidget(Edit4, 2, 3);
    (new QVBoxLayout(dateMod))->addWidget(group);
    Pages->addTab(dateMod, tr("Date Modified"));

    auto *advanced = new QWidget;
    advanced->setObjectName(QStringLiteral("Advanced"));
    ComboBox3 = new QComboBox(advanced);
    ComboBox3->setObjectName(QStringLiteral("ComboBox3"));
    ComboBox1 = new QComboBox(advanced);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QString(), tr("At least"), tr("At most")});
    ComboBox1->setCurrentIndex(-1);
    Edit2 = new QLineEdit(QStringLiteral("0"), advanced);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    auto *advancedGrid = new QGridLayout(advanced);
    advancedGrid->addWidget(new QLabel(tr("Of Type:"), advanced), 0, 0);
    advancedGrid->addWidget(ComboBox3, 0, 1, 1, 3);
    advancedGrid->addWidget(new QLabel(tr("Size is:"), advanced), 1, 0);
    advancedGrid->addWidget(ComboBox1, 1, 1);
    advancedGrid->addWidget(Edit2, 1, 2);
    advancedGrid->addWidget(new QLabel(tr("KB"), advanced), 1, 3);
    advancedGrid->setRowStretch(2, 1);
    Pages->addTab(advanced, tr("Advanced"));

    Button1 = new QPushButton(tr("Find Now"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(tr("New Search"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Anim1 = new TAnimate(this);
    Anim1->setObjectName(QStringLiteral("Anim1"));
    Anim1->SetCommonAVI(TCommonAVI::aviFindFile);
    Anim1->SetStopFrame(23);
    Anim1->setFixedSize(48, 50);
    Anim1->hide();

    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu1"));
    AddViewItems(menu,
                 {{vsIcon, QStringLiteral("Largeicons1"), tr("&Large icons")},
                  {vsSmallIcon, QStringLiteral("Smallicons1"), tr("&Small icons")},
                  {vsList, QStringLiteral("List1"), tr("&List")},
                  {vsReport, QStringLiteral("Details1"), tr("&Details")}},
                 vsReport, [this](TViewStyle style) { Entries->SetViewStyle(style); });
    menu->addSeparator();
    QAction *properties = menu->addAction(tr("&Properties"));
    properties->setObjectName(QStringLiteral("Properties1"));
    connect(properties, &QAction::triggered, this, [this] { Guarded([this] { Properties1Click(); }); });

    TGlobal &global = Global();
    Entries = new TDBListView(this);
    Entries->setObjectName(QStringLiteral("Entries"));
    Entries->SetReadOnly(true);
    Entries->SetLargeImages(&global.DBIL_Big);
    Entries->SetSmallImages(&global.DBIL_Little);
    Entries->SetPopupMenu(menu);
    Entries->Columns()->Add(tr("Name"), 100);
    Entries->Columns()->Add(tr("In Folder"), 100);
    Entries->Columns()->Add(tr("Size"), 60);
    Entries->Columns()->Add(tr("Type"), 49);
    Entries->Columns()->Add(tr("Modified"), 120);
    Entries->SetViewStyle(vsReport);
    Entries->SetNameField(QStringLiteral("Name"));
    Entries->SetImageIDField(QStringLiteral("ImageID"));
    Entries->SetKeyFields(QStringLiteral("Name;InFolder;Size;Type;Modified"));
    Entries->SetColumnsFields(QStringLiteral("InFolder;Size;Type;Modified"));
    // A header sorts the rows loaded, not the whole result: a result is held to RowsShown rows, so
    // sorting in the engine would mean reading and ordering all of them (millions for a broad
    // search) before the first could be shown, and it would lose the user's place. The status
    // line says when more rows were found than are shown.
    Entries->SetSortOnColumnClick(true);
    Entries->BeforeItemsLoading = {
        [this](TDBCustomListView *) { FLoadingHourglass = std::make_unique<THourglass>(); }, this};
    Entries->AfterItemsLoading = {[this](TDBCustomListView *) { EntriesAfterItemsLoading(); }, this};
    Entries->SetLoadStep(FirstRowsShown);
    Entries->SetDataSource(&global.dsFindDialog);
    Entries->hide();

    FCount = new TFindCount(this);
    connect(FCount, &TFindCount::Counted, this, &TFind::ShowFound);
    connect(FCount, &TFindCount::Failed, this, [this](const QString &message) {
        SB2->showMessage(tr("The first %1 file(s) shown; they could not be counted: %2")
                             .arg(QLocale().toString(RowsShown), message));
    });

    SB2 = new QStatusBar(this);
    SB2->setObjectName(QStringLiteral("SB2"));
    SB2->setSizeGripEnabled(false);
    SB2->hide();

    // Found entries open where their volume is mounted, and drag out of the list as files.
    FOpener = new TEntryOpener(
        [] {
            TQuery &found = Global().FindDialog;
            return found.Active() && !found.IsEmpty() ? found.FieldByName(QStringLiteral("ID"))->AsInteger()
                                                      : 0;
        },
        SB2, this);
    menu->addSeparator();
    FOpener->AddItems(menu, QStringLiteral("Open1"), QStringLiteral("OpenFolder1"));
    FOpener->EnableDrag(Entries);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(Anim1, 0, Qt::AlignHCenter);
    auto *panel = new QHBoxLayout;
    panel->addWidget(Pages, 1);
    panel->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(panel);
    layout->addWidget(Entries, 1);
    layout->addWidget(SB2);
    Pages->setFixedHeight(153);

    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
    connect(RadioButton1, &QRadioButton::toggled, this, [this] { RadioButtonClick(); });
    for (QLineEdit *edit : {Edit3, Edit4})
        edit->installEventFilter(this);

    FormCreate();
    resize(442, HeightBefore);
    TWindowSettings(QStringLiteral("Find")).RestoreGeometry(this, false);
}

TFind::~TFind()
{
    delete Entries;
}

void TFind::FormCreate()
{
    const QDateTime now = QDateTime::currentDateTime();
    Edit3->setText(QLocale().toString(now.addDays(-1).date(), ShortDateFormat()));
    Edit4->setText(QLocale().toString(now.date(), ShortDateFormat()));
    for (QLineEdit *edit : {Edit3, Edit4})
        edit->setPalette(QPalette());
    Button1->setEnabled(true);
    SetSizeLimits(false);
    Entries->hide();
}

void TFind::FillChoices()
{
    TGlobal &global = Global();
    TTable &images = global.Images;
    const bool wasActive = images.Active();
    const TBookmark position = wasActive ? images.GetBookmark() : TBookmark();
    images.Open();
    ComboBox3->clear();
    ComboBox3->addItem(QString());
    for (images.First(); !images.Eof(); images.Next())
        ComboBox3->addItem(images.FieldByName(QStringLiteral("Description"))->AsString(),
                           images.FieldByName(QStringLiteral("ImageID"))->AsInteger());
    if (wasActive)
        images.GotoBookmark(position);

    ComboBox2->clear();
    ComboBox2->addItem(QString());
    TTable &volumes = global.CDs2;
    volumes.Open();
    for (volumes.First(); !volumes.Eof(); volumes.Next())
        ComboBox2->addItem(volumes.FieldByName(QStringLiteral("VolumeLabel"))->AsString(),
                           volumes.FieldByName(QStringLiteral("ID"))->AsInteger());
    ComboBox2->setCurrentIndex(-1);
    ComboBox3->setCurrentIndex(-1);
}

void TFind::SetSizeLimits(bool afterSearch)
{
    setMinimumSize(442, afterSearch ? HeightAfter : HeightBefore);
    setMaximumSize(10000, afterSearch ? 10000 : HeightBefore);
}

bool TFind::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (edit && event->type() == QEvent::FocusIn)
        DateEntered(edit);
    else if (edit && event->type() == QEvent::FocusOut)
        DateLeft(edit);
    return QDialog::eventFilter(watched, event);
}

void TFind::DateEntered(QLineEdit *edit)
{
    edit->setPalette(QPalette());
}

void TFind::DateLeft(QLineEdit *edit)
{
    const bool valid = ParseDate(edit->text()).has_value();
    QPalette palette;
    if (!valid)
        palette.setColor(QPalette::Text, Qt::red);
    edit->setPalette(palette);
    Button1->setEnabled(valid);
}

void TFind::RadioButtonClick()
{
    const bool dates = RadioButton2->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(Label3), static_cast<QWidget *>(Edit3),
                       static_cast<QWidget *>(Label4), static_cast<QWidget *>(Edit4)})
        w->setEnabled(dates);
}

void TFind::Button1Click()
{
    TGlobal &global = Global();
    Anim1->show();
    Anim1->SetActive(true);
    SB2->show();
    SB2->showMessage(tr("Searching..."));
    SB2->repaint();
    const THourglass hourglass;
    bool searched = false;
    auto finish = qScopeGuard([this, &searched] {
        if (!searched)
            SB2->clearMessage();
        SetSizeLimits(true);
        // The results get the room the user gave them last time.
        resize(
            width(),
            std::max(HeightAfter,
                     TWindowSettings(QStringLiteral("Find")).Value(QStringLiteral("ResultHeight")).toInt()));
        Anim1->SetActive(false);
        Anim1->hide();
        Entries->show();
        Entries->setFocus();
    });
    // The previous result goes first: a search that fails on its criteria must not leave it shown.
    FCount->Cancel();
    ResetSearchFlags(global);

    TFindCriteria criteria;
    criteria.Name = Edit1->text();
    criteria.WholeMatch = CheckBox1->isChecked();
    criteria.Text = Edit5->text();
    if (RadioButton2->isChecked())
        criteria.Modified = TFindCriteria::TDays{ReadDate(Edit3), ReadDate(Edit4)};
    switch (ChosenIndex(ComboBox1)) {
    case 0:
        criteria.SizeRelation = TSizeRelation::Equal;
        break;
    case 1:
        criteria.SizeRelation = TSizeRelation::AtLeast;
        break;
    case 2:
        criteria.SizeRelation = TSizeRelation::AtMost;
        break;
    default:
        criteria.SizeRelation = TSizeRelation::None;
        break;
    }
    criteria.SizeText = Edit2->text();
    if (ComboBox3->currentIndex() > 0) {
        criteria.TypeImageID = ComboBox3->currentData().toInt();
        criteria.TypeIsVolumePicture = IsVolumePicture(global, *criteria.TypeImageID);
    }
    if (ChosenIndex(ComboBox2) > 0)
        criteria.VolumeID = ComboBox2->currentData().toInt();

    ApplyFindCriteria(global, criteria);
    global.FindDialog.SetMaxRows(RowsShown);
    global.FindDialog.Open();
    global.FindDialog.First();
    searched = true;
    if (global.FindDialog.IsEmpty())
        SB2->showMessage(tr("0 file(s) found"));
}

void TFind::Button2Click()
{
    FormCreate();
    Edit1->setText(QStringLiteral("*"));
    Edit5->clear();
    Edit2->setText(QStringLiteral("0"));
    ComboBox1->setCurrentIndex(-1);
    ComboBox2->setCurrentIndex(-1);
    ComboBox3->setCurrentIndex(-1);
    resize(width(), HeightBefore);
    FCount->Cancel();
    ResetSearchFlags(Global());
    SB2->clearMessage();
}

void TFind::EntriesAfterItemsLoading()
{
    auto restore = qScopeGuard([this] { FLoadingHourglass.reset(); });
    if (!Entries->LoadingComplete())
        return;
    const int shown = Entries->Items()->Count();
    // Fewer rows than the list takes are the whole result; beyond that the rest is counted while
    // the user looks at what is shown.
    if (shown < RowsShown || !Global().FindDialog.Active()) {
        ShowFound(shown);
        return;
    }
    SB2->showMessage(
        tr("The first %1 file(s) shown, counting the others...").arg(QLocale().toString(RowsShown)));
    FCount->Start(Global());
}

void TFind::ShowFound(qint64 found)
{
    if (found > RowsShown)
        SB2->showMessage(tr("%1 file(s) found, the first %2 shown")
                             .arg(QLocale().toString(found), QLocale().toString(RowsShown)));
    else
        SB2->showMessage(tr("%1 file(s) found").arg(found));
}

void TFind::Properties1Click()
{
    TGlobal &global = Global();
    if (!global.FindDialog.Active() || global.FindDialog.IsEmpty())
        return;
    TProp *prop = TProp::Instance();
    prop->ShowEntry(global.FindDialog.FieldByName(QStringLiteral("ID"))->AsInteger());
    prop->exec();
}

void TFind::done(int result)
{
    TWindowSettings settings(QStringLiteral("Find"));
    settings.SaveGeometry(this);
    if (Entries->isVisible() && !isMaximized())
        settings.SetValue(QStringLiteral("ResultHeight"), height());
    FCount->Cancel();
    Guarded([] {
        ResetSearchFlags(Global());
        Global().FindDialog.SetMaxRows(0);
    });
    QDialog::done(QDialog::Accepted);
    (void)result;
}
