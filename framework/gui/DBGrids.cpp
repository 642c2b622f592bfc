#include "DBGrids.h"

#include "ErrorHandlers.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <deque>

namespace {

struct TGridRow
{
    TBookmark Bookmark; // empty for the blank row of an empty data set and for a new record
    QStringList Texts;  // each column's text as read
    bool Blank = false;
    bool Inserted = false;
    bool AtEnd = false; // a new record appended after the last one
};

QString CellText(const TField *field)
{
    if (!field)
        return QString();
    if (field->DataType() == TFieldType::Blob)
        return field->IsNull() ? QStringLiteral("(blob)") : QStringLiteral("(BLOB)");
    // A memo is shown on one line; the cell elides the rest.
    return field->DisplayText().replace(u'\n', u' ');
}

// Restores a flag however the scope is left.
struct TFlagGuard
{
    bool &Flag;
    bool Saved;
    explicit TFlagGuard(bool &flag) : Flag(flag), Saved(flag) { Flag = true; }
    ~TFlagGuard() { Flag = Saved; }
};

// The marks of the indicator column: the current record, a record being edited, a new record.
QPixmap IndicatorPixmap(TDataSetState state, const QColor &color)
{
    QPixmap pixmap(10, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.2));
    switch (state) {
    case TDataSetState::Edit:
        painter.drawLine(QPointF(5, 1.5), QPointF(5, 10.5));
        painter.drawLine(QPointF(3, 1.5), QPointF(7, 1.5));
        painter.drawLine(QPointF(3, 10.5), QPointF(7, 10.5));
        break;
    case TDataSetState::Insert:
        for (int i = 0; i < 3; ++i) {
            const double angle = i * 60.0 * M_PI / 180.0;
            const QPointF d(3.8 * std::sin(angle), 3.8 * std::cos(angle));
            painter.drawLine(QPointF(5, 6) - d, QPointF(5, 6) + d);
        }
        break;
    default: {
        QPainterPath arrow;
        arrow.moveTo(2.5, 2);
        arrow.lineTo(8, 6);
        arrow.lineTo(2.5, 10);
        arrow.closeSubpath();
        painter.setPen(Qt::NoPen);
        painter.fillPath(arrow, color);
        break;
    }
    }
    return pixmap;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The rows of the window, as the view sees them

class TGridModel : public QAbstractTableModel
{
public:
    explicit TGridModel(TDBGrid *grid) : QAbstractTableModel(grid), FGrid(grid) {}

    int Active() const { return FActive; }
    int RowCount() const { return int(FRows.size()); }
    const TGridRow &Row(int row) const { return FRows[size_t(row)]; }
    const std::vector<TGridRow> &Rows() const { return FRows; }
    TField *Field(int column) const
    {
        return column >= 0 && column < int(FFields.size()) ? FFields[size_t(column)] : nullptr;
    }
    int FieldCount() const { return int(FFields.size()); }

    void SetColumns(std::vector<TField *> fields, QStringList titles)
    {
        beginResetModel();
        FFields = std::move(fields);
        FTitles = std::move(titles);
        FRows.clear();
        FActive = -1;
        endResetModel();
    }

    void SetRows(std::vector<TGridRow> rows, int active)
    {
        const int oldCount = RowCount();
        const int newCount = int(rows.size());
        if (newCount > oldCount) {
            beginInsertRows({}, oldCount, newCount - 1);
            FRows = std::move(rows);
            FActive = active;
            endInsertRows();
        } else if (newCount < oldCount) {
            beginRemoveRows({}, newCount, oldCount - 1);
            FRows = std::move(rows);
            FActive = active;
            endRemoveRows();
        } else {
            FRows = std::move(rows);
            FActive = active;
        }
        if (newCount > 0 && !FFields.empty()) {
            emit dataChanged(index(0, 0), index(newCount - 1, FieldCount() - 1));
            emit headerDataChanged(Qt::Vertical, 0, newCount - 1);
        }
    }

    void SetActive(int row, QStringList texts)
    {
        const int old = FActive;
        FActive = row;
        FRows[size_t(row)].Texts = std::move(texts);
        if (old >= 0 && old < RowCount())
            RowChanged(old);
        RowChanged(row);
    }

    // The current row shows the fields as they are now (column -1: every column).
    void ActiveChanged(int column)
    {
        if (FActive < 0 || FFields.empty())
            return;
        if (column < 0)
            RowChanged(FActive);
        else
            emit dataChanged(index(FActive, column), index(FActive, column));
    }

    void IndicatorChanged()
    {
        if (FActive >= 0)
            emit headerDataChanged(Qt::Vertical, FActive, FActive);
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : RowCount(); }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : FieldCount();
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= RowCount())
            return {};
        const TField *field = Field(index.column());
        const bool live = index.row() == FActive && field && !FGrid->FFilling && field->DataSet()->Active();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            // Painting asks for the text: a field whose text cannot be had shows none, as a
            // message box in the middle of painting would only bring the next paint.
            try {
                if (role == Qt::EditRole)
                    return live ? field->Text() : QString();
                return live ? CellText(field) : Row(index.row()).Texts.value(index.column());
            } catch (...) {
                return QString();
            }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue((field && field->IsNumeric() ? Qt::AlignRight : Qt::AlignLeft) |
                                       Qt::AlignVCenter);
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal)
            return role == Qt::DisplayRole ? QVariant(FTitles.value(section)) : QVariant();
        if (role == Qt::DisplayRole)
            return QString();
        if (role != Qt::DecorationRole || section != FActive)
            return {};
        const TDataSet *dataSet = FGrid->DataSet();
        const TDataSetState state = dataSet ? dataSet->State() : TDataSetState::Inactive;
        return IndicatorPixmap(state, FGrid->verticalHeader()->palette().color(QPalette::ButtonText));
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (FGrid->CanEditColumn(index.column()))
            flags |= Qt::ItemIsEditable;
        return flags;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        return FGrid->WriteCellGuarded(index.column(), value.toString());
    }

private:
    void RowChanged(int row)
    {
        if (FFields.empty())
            return;
        emit dataChanged(index(row, 0), index(row, FieldCount() - 1));
        emit headerDataChanged(Qt::Vertical, row, row);
    }

    TDBGrid *FGrid;
    std::vector<TField *> FFields;
    QStringList FTitles;
    std::vector<TGridRow> FRows;
    int FActive = -1;
};

// ---------------------------------------------------------------------------------------------

class TGridDataLink : public TDataLink
{
public:
    explicit TGridDataLink(TDBGrid *grid) : FGrid(grid) {}

protected:
    void ActiveChanged() override { FGrid->LinkActiveChanged(); }
    void DataSetChanged() override { FGrid->LinkDataSetChanged(); }
    void DataSetScrolled(int distance) override { FGrid->LinkScrolled(distance); }
    void RecordChanged(TField *field) override { FGrid->LinkRecordChanged(field); }
    void EditingChanged() override { FGrid->LinkEditingChanged(); }
    void LayoutChanged() override { FGrid->LinkLayoutChanged(); }
    void UpdateData() override { FGrid->LinkUpdateData(); }
    void FocusControl(TField *field) override { FGrid->LinkFocusControl(field); }

private:
    TDBGrid *FGrid;
};

namespace {

// A cell editor no longer than the field allows.
class TGridDelegate : public QStyledItemDelegate
{
public:
    explicit TGridDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), FGrid(grid) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        const TField *field = FGrid->ColumnField(index.column());
        if (auto *line = qobject_cast<QLineEdit *>(editor);
            line && field && field->DataType() == TFieldType::String && field->Size() > 0)
            line->setMaxLength(field->Size());
        return editor;
    }

private:
    TDBGrid *FGrid;
};

int DefaultWidth(const TField *field, const QFontMetrics &metrics, const QString &title)
{
    int chars = 10;
    if (field) {
        switch (field->DataType()) {
        case TFieldType::String:
            chars = std::clamp(field->Size(), 4, 30);
            break;
        case TFieldType::Boolean:
            chars = 6;
            break;
        case TFieldType::DateTime:
            chars = 18;
            break;
        case TFieldType::Memo:
        case TFieldType::Blob:
            chars = 12;
            break;
        default:
            break;
        }
    }
    return std::max(chars * metrics.averageCharWidth(), metrics.horizontalAdvance(title)) + 10;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TDBGrid

TDBGrid::TDBGrid(QWidget *parent)
    : QTableView(parent), FDataLink(std::make_unique<TGridDataLink>(this)), FModel(new TGridModel(this)),
      FOptions(DefaultOptions())
{
    setModel(FModel);
    setItemDelegate(new TGridDelegate(this));
    setSelectionMode(SingleSelection);
    setAutoScroll(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setHighlightSections(false);
    // A title click would select a column and with it move the current cell to another row.
    horizontalHeader()->setSectionsClickable(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setHighlightSections(false);
    // The vertical scroll bar moves the cursor, not the rows: it is cut off from the view's own
    // scrolling, which would shift the window of rows out of sight.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    disconnect(verticalScrollBar(), nullptr, this, nullptr);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &TDBGrid::ScrollBarAction);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!FColumns.empty() && column < int(FColumns.size()) && !FFilling)
            FColumns[size_t(column)].Width = width;
    });
    connect(qApp, &QApplication::focusChanged, this, &TDBGrid::FocusChanged);
    ApplyOptions();
    UpdateScrollBar();
}

TDBGrid::~TDBGrid()
{
    // QWidget's destructor clears the focus, and the application reports that to whoever listens:
    // by then this is no grid any more.
    disconnect(qApp, nullptr, this, nullptr);
    FDataLink.reset();
}

TDBGridOptions TDBGrid::DefaultOptions()
{
    return dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
           dgConfirmDelete | dgCancelOnExit;
}

TDataSource *TDBGrid::DataSource() const
{
    return FDataLink->DataSource();
}

void TDBGrid::SetDataSource(TDataSource *value)
{
    FDataLink->SetDataSource(value);
}

TDataSet *TDBGrid::DataSet() const
{
    return FDataLink->Active() ? FDataLink->DataSet() : nullptr;
}

bool TDBGrid::ReadOnly() const
{
    return FDataLink->ReadOnly();
}

void TDBGrid::SetReadOnly(bool value)
{
    FDataLink->SetReadOnly(value);
}

void TDBGrid::SetOptions(TDBGridOptions value)
{
    if (FOptions == value)
        return;
    FOptions = value;
    ApplyOptions();
}

void TDBGrid::ApplyOptions()
{
    horizontalHeader()->setVisible(FOptions & dgTitles);
    verticalHeader()->setVisible(FOptions & dgIndicator);
    horizontalHeader()->setSectionResizeMode(FOptions & dgColumnResize ? QHeaderView::Interactive
                                                                       : QHeaderView::Fixed);
    setShowGrid(FOptions & (dgColLines | dgRowLines));
    setTabKeyNavigation(FOptions & dgTabs);
    setSelectionBehavior(FOptions & dgRowSelect ? SelectRows : SelectItems);
    const bool editing = (FOptions & dgEditing) && !(FOptions & dgRowSelect);
    // A click on the current cell opens no editor: Qt would open it a double-click time later and
    // drop what the user typed in between.
    setEditTriggers(editing ? DoubleClicked | EditKeyPressed | AnyKeyPressed : NoEditTriggers);
}

void TDBGrid::SetColumns(std::vector<TColumn> columns)
{
    FColumns = std::move(columns);
    LinkLayoutChanged();
}

int TDBGrid::AddColumn(const QString &fieldName, const QString &title, int width)
{
    FColumns.push_back({fieldName, title, width, false});
    LinkLayoutChanged();
    return int(FColumns.size()) - 1;
}

TField *TDBGrid::ColumnField(int column) const
{
    return FModel->Field(column);
}

TField *TDBGrid::SelectedField() const
{
    return ColumnField(SelectedIndex());
}

int TDBGrid::SelectedIndex() const
{
    return FModel->FieldCount() == 0 ? -1 : std::clamp(FSelectedColumn, 0, FModel->FieldCount() - 1);
}

void TDBGrid::SetSelectedIndex(int column)
{
    FSelectedColumn = column;
    SyncCurrent();
}

int TDBGrid::WindowRowCount() const
{
    return FModel->RowCount();
}

int TDBGrid::ActiveRow() const
{
    return FModel->Active();
}

bool TDBGrid::CanEditData() const
{
    const TDataSet *dataSet = DataSet();
    return dataSet && !FDataLink->ReadOnly() && (FOptions & dgEditing) && dataSet->CanModify();
}

bool TDBGrid::CanEditColumn(int column) const
{
    if (!CanEditData() || (FOptions & dgRowSelect))
        return false;
    const TField *field = ColumnField(column);
    // The database numbers its auto-increment keys itself; pictures are not text.
    if (!field || !field->CanModify() || field->DataType() == TFieldType::Blob ||
        field->DataType() == TFieldType::AutoInc)
        return false;
    return FColumns.empty() || column >= int(FColumns.size()) || !FColumns[size_t(column)].ReadOnly;
}

int TDBGrid::ColumnCount() const
{
    return FModel->FieldCount();
}

TBookmark TDBGrid::RowBookmark(int row) const
{
    return FModel->Row(row).Bookmark;
}

bool TDBGrid::ActiveRowAppended() const
{
    return FModel->Active() >= 0 && FModel->Row(FModel->Active()).AtEnd;
}

int TDBGrid::WindowSize() const
{
    return std::max(1, viewport()->height() / std::max(1, verticalHeader()->defaultSectionSize()));
}

// ---------------------------------------------------------------------------------------------
// Following the data set

void TDBGrid::BuildColumns()
{
    const TDataSet *dataSet = DataSet();
    std::vector<TField *> fields;
    QStringList titles;
    std::vector<int> widths;
    if (FColumns.empty()) {
        for (int i = 0; dataSet && i < dataSet->FieldCount(); ++i) {
            TField *field = dataSet->Fields(i);
            fields.push_back(field);
            titles << field->DisplayLabel();
            widths.push_back(DefaultWidth(field, fontMetrics(), titles.last()));
        }
    } else {
        for (const TColumn &column : FColumns) {
            TField *field = dataSet ? dataSet->FindField(column.FieldName) : nullptr;
            fields.push_back(field);
            titles << (!column.Title.isEmpty() ? column.Title
                       : field                 ? field->DisplayLabel()
                                               : column.FieldName);
            widths.push_back(column.Width > 0 ? column.Width
                                              : DefaultWidth(field, fontMetrics(), titles.last()));
        }
    }
    TFlagGuard filling(FFilling);
    FModel->SetColumns(std::move(fields), titles);
    for (size_t i = 0; i < widths.size(); ++i)
        setColumnWidth(int(i), widths[i]);
}

void TDBGrid::LinkActiveChanged()
{
    BuildColumns();
    FTouchesBof = FTouchesEof = true;
    TDataSet *dataSet = DataSet();
    if (!dataSet) {
        UpdateScrollBar();
        return;
    }
    if (dataSet->State() == TDataSetState::Browse) {
        FillWindow(0);
        return;
    }
    // Bound while the data set is editing: only the record being edited can be shown.
    TGridRow row;
    row.Inserted = dataSet->State() == TDataSetState::Insert;
    FModel->SetRows({row}, 0);
    SyncCurrent();
    UpdateScrollBar();
}

void TDBGrid::LinkLayoutChanged()
{
    BuildColumns();
    if (TDataSet *dataSet = DataSet(); dataSet && dataSet->State() == TDataSetState::Browse)
        FillWindow(FModel->Active());
    else
        LinkActiveChanged();
}

void TDBGrid::LinkDataSetChanged()
{
    if (FFilling)
        return;
    TDataSet *dataSet = DataSet();
    switch (dataSet->State()) {
    case TDataSetState::Browse: {
        CloseOpenEditor();
        const int wanted = FPreferredRow >= 0 ? FPreferredRow : std::max(FModel->Active(), 0);
        FPreferredRow = -1;
        FillWindow(wanted);
        break;
    }
    case TDataSetState::Insert:
        if (FModel->Active() < 0 || !FModel->Row(FModel->Active()).Inserted)
            MakeInsertRow();
        else
            FModel->ActiveChanged(-1);
        break;
    case TDataSetState::Edit:
        FModel->ActiveChanged(-1);
        break;
    default:
        break;
    }
}

void TDBGrid::LinkScrolled(int distance)
{
    if (FFilling)
        return;
    TDataSet *dataSet = DataSet();
    if (dataSet->State() != TDataSetState::Browse) {
        LinkDataSetChanged();
        return;
    }
    const int target = FModel->Active() + distance;
    if (target >= 0 && target < FModel->RowCount() &&
        FModel->Row(target).Bookmark == dataSet->GetBookmark()) {
        QStringList texts;
        for (int i = 0; i < FModel->FieldCount(); ++i)
            texts << CellText(FModel->Field(i));
        FModel->SetActive(target, texts);
        SyncCurrent();
        return;
    }
    FillWindow(target);
}

void TDBGrid::LinkRecordChanged(TField *field)
{
    if (FFilling)
        return;
    if (!field) {
        FModel->ActiveChanged(-1);
        return;
    }
    for (int i = 0; i < FModel->FieldCount(); ++i)
        if (FModel->Field(i) == field)
            FModel->ActiveChanged(i);
}

void TDBGrid::LinkEditingChanged()
{
    FModel->IndicatorChanged();
}

void TDBGrid::LinkUpdateData()
{
    // The data set posts while a cell is still being edited: the cell's text goes first, and a
    // text the field refuses stops the post.
    if (auto *line = qobject_cast<QLineEdit *>(OpenEditor()))
        WriteCell(currentIndex().column(), line->text());
}

void TDBGrid::LinkFocusControl(TField *field)
{
    for (int i = 0; i < FModel->FieldCount(); ++i) {
        if (FModel->Field(i) == field) {
            SetSelectedIndex(i);
            setFocus();
            return;
        }
    }
}

// Reads the records around the current one: `wantedActive` rows above it when there are that
// many, then as many below as fit, then more above when the end came first. One extra step each
// way tells whether the window touches the first and the last record.
void TDBGrid::FillWindow(int wantedActive)
{
    TDataSet *dataSet = DataSet();
    if (!dataSet) {
        FModel->SetRows({}, -1);
        return;
    }
    std::vector<TGridRow> rows;
    int active = 0;
    if (dataSet->IsEmpty()) {
        TGridRow blank;
        blank.Blank = true;
        blank.Texts = QStringList(FModel->FieldCount(), QString());
        rows.push_back(blank);
        FTouchesBof = FTouchesEof = true;
    } else {
        const size_t size = size_t(WindowSize());
        wantedActive = std::clamp(wantedActive, 0, int(size) - 1);
        TFlagGuard filling(FFilling);
        TControlsDisabled disabled(*dataSet);
        const TBookmark bookmark = dataSet->GetBookmark();
        const bool wasBof = dataSet->Bof();
        const bool wasEof = dataSet->Eof();
        const auto readRow = [&] {
            TGridRow row;
            row.Bookmark = dataSet->GetBookmark();
            for (int i = 0; i < FModel->FieldCount(); ++i)
                row.Texts << CellText(FModel->Field(i));
            return row;
        };
        int offset = 0; // of the cursor from the current record
        const auto step = [&](int direction) {
            if (dataSet->MoveBy(direction) != direction)
                return false;
            offset += direction;
            return true;
        };
        const auto moveTo = [&](int target) {
            dataSet->MoveBy(target - offset);
            offset = target;
        };
        std::deque<TGridRow> window;
        int above = 0;
        try {
            window.push_back(readRow());
            // Up to wantedActive rows above, and one step more to learn whether there are more.
            while (offset > -wantedActive - 1 && step(-1))
                if (offset >= -wantedActive)
                    window.push_front(readRow());
            bool moreAbove = offset < -wantedActive;
            above = int(window.size()) - 1;
            moveTo(0);
            const int wantedBelow = int(size - window.size());
            while (offset < wantedBelow + 1 && step(1))
                if (offset <= wantedBelow)
                    window.push_back(readRow());
            const bool moreBelow = offset > wantedBelow;
            if (window.size() < size && moreAbove) {
                const int wantedAbove = above + int(size - window.size());
                moveTo(-above);
                while (offset > -wantedAbove - 1 && step(-1))
                    if (offset >= -wantedAbove)
                        window.push_front(readRow());
                moreAbove = offset < -wantedAbove;
                above = std::min(-offset, wantedAbove);
            }
            moveTo(0);
            // The walk leaves the cursor where it was but not its flags, which the other
            // controls read (a navigator disables First and Prior at the start).
            if (dataSet->Bof() != wasBof || dataSet->Eof() != wasEof) {
                if (wasEof)
                    dataSet->Last();
                else if (wasBof)
                    dataSet->First();
                else
                    dataSet->GotoBookmark(bookmark);
            }
            FTouchesBof = !moreAbove;
            FTouchesEof = !moreBelow;
        } catch (...) {
            try {
                dataSet->GotoBookmark(bookmark);
            } catch (...) {
                // The error that stopped the walk is the one to report.
            }
            throw;
        }
        active = above;
        rows.assign(std::make_move_iterator(window.begin()), std::make_move_iterator(window.end()));
    }
    FModel->SetRows(std::move(rows), active);
    SyncCurrent();
    UpdateScrollBar();
}

// A new record shows where it was inserted, or below the last row when the grid appended it.
void TDBGrid::MakeInsertRow()
{
    std::vector<TGridRow> rows = FModel->Rows();
    TGridRow row;
    row.Inserted = true;
    row.AtEnd = FAppending;
    row.Texts = QStringList(FModel->FieldCount(), QString());
    int position = 0;
    if (rows.empty() || (rows.size() == 1 && rows.front().Blank)) {
        rows.assign(1, row);
    } else {
        position = FAppending ? int(rows.size()) : std::clamp(FModel->Active(), 0, int(rows.size()));
        rows.insert(rows.begin() + position, row);
        if (int(rows.size()) > WindowSize()) {
            if (position == int(rows.size()) - 1) {
                rows.erase(rows.begin());
                --position;
                FTouchesBof = false;
            } else {
                rows.pop_back();
                FTouchesEof = false;
            }
        }
    }
    FModel->SetRows(std::move(rows), position);
    SyncCurrent();
    UpdateScrollBar();
}

void TDBGrid::SyncCurrent()
{
    const int column = SelectedIndex();
    if (FModel->Active() < 0 || column < 0)
        return;
    TFlagGuard syncing(FSyncing);
    const QModelIndex index = FModel->index(FModel->Active(), column);
    QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
    if (FOptions & dgRowSelect)
        flags |= QItemSelectionModel::Rows;
    selectionModel()->setCurrentIndex(index, flags);
    QTableView::scrollTo(index);
    UpdateScrollBar();
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (FSyncing || !current.isValid())
        return;
    FSelectedColumn = current.column();
    // Every move of the row in the view becomes a move of the data set, which then moves the row.
    if (current.row() != FModel->Active()) {
        const int row = current.row();
        QMetaObject::invokeMethod(
            this, [this, row] { Guarded([&] { MoveToRow(row); }); }, Qt::QueuedConnection);
    }
}
