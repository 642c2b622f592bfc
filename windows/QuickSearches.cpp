#include "QuickSearches.h"

#include "ErrorHandlers.h"
#include "FindCriteria.h"
#include "ListViews.h"
#include "dmGlobal.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// Keys typed in quick succession make one search, this long after the last of them; a key after
// a pause searches at once, so a single key is answered without waiting.
constexpr int DebounceMilliseconds = 150;

enum TResultColumn { rcName, rcInFolder, rcSize, rcType, rcModified };

} // namespace

TQuickSearch::TQuickSearch(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("QuickSearch"));
    SearchBox = new QLineEdit(this);
    SearchBox->setObjectName(QStringLiteral("SearchBox"));
    SearchBox->setPlaceholderText(tr("Search all volumes (Ctrl+F)"));
    SearchBox->setToolTip(tr("Lists the entries whose names hold the text typed. Enter or a double click "
                             "opens the folder of a result; Escape goes back to the folders."));
    SearchBox->setClearButtonEnabled(true);
    SearchBox->installEventFilter(this);
    connect(SearchBox, &QObject::destroyed, this, [this] { SearchBox = nullptr; });

    SearchStatus = new QLabel(this);
    SearchStatus->setObjectName(QStringLiteral("SearchStatus"));
    SearchStatus->setTextFormat(Qt::RichText);
    SearchStatus->setContentsMargins(4, 2, 4, 2);

    TGlobal &global = *TGlobal::Instance();
    SearchResults = new TListView(this);
    SearchResults->setObjectName(QStringLiteral("SearchResults"));
    SearchResults->SetReadOnly(true);
    SearchResults->SetSmallImages(&global.DBIL_Little);
    SearchResults->SetLargeImages(&global.DBIL_Big);
    SearchResults->Columns()->Add(tr("Name"), 160);
    SearchResults->Columns()->Add(tr("In Folder"), 160);
    SearchResults->Columns()->Add(tr("Size"), 70);
    SearchResults->Columns()->Add(tr("Type"), 80);
    SearchResults->Columns()->Add(tr("Modified"), 120);
    SearchResults->SetViewStyle(vsReport);
    SearchResults->SetSortOnColumnClick(true);
    SearchResults->OnDblClick = {[this](TCustomListView *) { OpenFocused(); }, this};
    SearchResults->OnChange = {[this](TCustomListView *, TListItem *item, TItemChange change) {
                                   if (change == ctState && item->Focused())
                                       emit ResultFocused(FFound.at(size_t(item->Data().toInt())));
                               },
                               this};
    SearchResults->OnKeyDown = {[this](TCustomListView *, int &key, Qt::KeyboardModifiers) {
                                    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                                        key = 0;
                                        OpenFocused();
                                    } else if (key == Qt::Key_Escape) {
                                        key = 0;
                                        Leave();
                                    }
                                },
                                this};

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(SearchStatus);
    layout->addWidget(SearchResults, 1);

    FRows = new TFindRows(this);
    connect(FRows, &TFindRows::Found, this,
            [this](const QList<TFoundEntry> &rows) { Guarded([&] { ShowRows(rows); }); });
    connect(FRows, &TFindRows::Finished, this, [this](bool more) { Guarded([&] { SearchFinished(more); }); });
    connect(FRows, &TFindRows::Failed, this, &TQuickSearch::SearchFailed);
    connect(SearchStatus, &QLabel::linkActivated, this, [this] { emit MoreWanted(Pattern()); });
    FDebounce.setSingleShot(true);
    connect(&FDebounce, &QTimer::timeout, this, [this] { Guarded([this] { StartSearch(); }); });
    connect(SearchBox, &QLineEdit::textChanged, this, [this] { Guarded([this] { TextChanged(); }); });
}

TQuickSearch::~TQuickSearch()
{
    // The box lives in another widget, which may delete it before or after this object.
    if (SearchBox) {
        SearchBox->removeEventFilter(this);
        disconnect(SearchBox, nullptr, this, nullptr);
    }
    FRows->Cancel();
}

QString TQuickSearch::Pattern() const
{
    return u'*' + SearchBox->text().trimmed() + u'*';
}

void TQuickSearch::Clear()
{
    SearchBox->clear();
}

void TQuickSearch::TextChanged()
{
    const bool active = !SearchBox->text().trimmed().isEmpty();
    if (!active) {
        FDebounce.stop();
        FRows->Cancel();
        ClearResults();
        SearchStatus->clear();
    }
    if (active != FActive) {
        FActive = active;
        emit ActiveChanged(active);
    }
    if (!active)
        return;
    const bool pause = !FSinceKey.isValid() || FSinceKey.elapsed() >= DebounceMilliseconds;
    FSinceKey.restart();
    if (pause && !FDebounce.isActive())
        StartSearch();
    else
        FDebounce.start(DebounceMilliseconds);
}

void TQuickSearch::StartSearch()
{
    FDebounce.stop();
    if (!FActive)
        return;
    TGlobal &global = *TGlobal::Instance();
    TFindCriteria criteria;
    criteria.Name = Pattern();
    ApplyFindCriteria(global, criteria);
    FRows->Start(global, FLimit);
    FReplacing = true;
    SearchStatus->setText(tr("Searching..."));
}

void TQuickSearch::ClearResults()
{
    SearchResults->Items()->Clear();
    FFound.clear();
}

void TQuickSearch::ShowRows(const QList<TFoundEntry> &rows)
{
    // The results of the search before stay until this one has some of its own to show.
    if (FReplacing) {
        FReplacing = false;
        ClearResults();
    }
    TListItems &items = *SearchResults->Items();
    const int before = items.Count();
    items.BeginUpdate();
    for (const TFoundEntry &row : rows) {
        TListItem *item = items.Add();
        item->SetData(int(FFound.size()));
        item->SetCaption(row.Name);
        item->SetImageIndex(row.ImageID);
        item->SetSubItems({row.InFolder, row.Size.IsNull() ? QString() : row.Size.AsString(), row.Type,
                           row.Modified.IsNull() ? QString() : row.Modified.AsString()});
        item->SetSortKeys({QVariant(), QVariant(),
                           row.Size.IsNull() ? QVariant() : QVariant(row.Size.AsInt64()), QVariant(),
                           row.Modified.IsNull() ? QVariant() : QVariant(row.Modified.AsDateTime().Value)});
        FFound.push_back(row);
    }
    items.EndUpdate();
    SearchResults->SortItems(before);
    SearchStatus->setText(tr("Searching... %1 file(s) found so far").arg(items.Count()));
}

void TQuickSearch::SearchFinished(bool more)
{
    if (FReplacing) {
        FReplacing = false;
        ClearResults();
    }
    const int shown = SearchResults->Items()->Count();
    if (shown == 0)
        SearchStatus->setText(
            tr("Nothing found for \"%1\"").arg(SearchBox->text().trimmed().toHtmlEscaped()));
    else if (more)
        SearchStatus->setText(tr("The first %1 file(s) shown. <a href=\"more\">More...</a>").arg(shown));
    else
        SearchStatus->setText(tr("%1 file(s) found").arg(shown));
}

void TQuickSearch::SearchFailed(const QString &message)
{
    FReplacing = false;
    SearchStatus->setText(tr("The search failed: %1").arg(message.toHtmlEscaped()));
}

void TQuickSearch::OpenFocused()
{
    TListItem *item = SearchResults->ItemFocused();
    if (!item)
        item = SearchResults->Selected();
    if (!item && SearchResults->Items()->Count() > 0)
        item = SearchResults->Items()->Item(0);
    if (!item)
        return;
    const TFoundEntry &entry = FFound.at(size_t(item->Data().toInt()));
    emit OpenEntry(entry.ID, entry.Parent);
}

void TQuickSearch::Leave()
{
    Clear();
    emit Left();
}

bool TQuickSearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != SearchBox || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    switch (static_cast<QKeyEvent *>(event)->key()) {
    case Qt::Key_Escape:
        Leave();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Guarded([this] { OpenFocused(); });
        return true;
    case Qt::Key_Down:
        if (SearchResults->Items()->Count() == 0)
            return false;
        SearchResults->setFocus();
        if (!SearchResults->ItemFocused()) {
            TListItem *first = SearchResults->Items()->Item(0);
            first->SetSelected(true);
            first->SetFocused(true);
        }
        return true;
    default:
        return false;
    }
}
