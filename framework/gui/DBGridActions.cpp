#include "DBGrids.h"
#include "ErrorHandlers.h"
#include "MessageBoxes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <exception>
#include <functional>

// What the user does in a grid: editing cells, moving, inserting and deleting records.

namespace {

// Restores a flag however the scope is left.
struct TFlagGuard
{
    bool &Flag;
    bool Saved;
    explicit TFlagGuard(bool &flag) : Flag(flag), Saved(flag) { Flag = true; }
    ~TFlagGuard() { Flag = Saved; }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Editing cells

QWidget *TDBGrid::OpenEditor() const
{
    return state() == EditingState ? indexWidget(currentIndex()) : nullptr;
}

bool TDBGrid::EditorChanged() const
{
    const auto *line = qobject_cast<QLineEdit *>(OpenEditor());
    const TField *field = ColumnField(currentIndex().column());
    return line && field && line->text() != field->Text();
}

void TDBGrid::CloseOpenEditor()
{
    if (QWidget *editor = OpenEditor()) {
        TFlagGuard closing(FClosingSilently);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TDBGrid::WriteCell(int column, const QString &text)
{
    TField *field = ColumnField(column);
    // An untouched cell leaves the record unmodified, so a new row can still be dropped.
    if (!field || field->Text() == text)
        return;
    if (!FDataLink->Editing() && !FDataLink->Edit())
        return;
    field->SetAsString(text);
}

bool TDBGrid::WriteCellGuarded(int column, const QString &text)
{
    try {
        WriteCell(column, text);
        return true;
    } catch (...) {
        // Qt hands a cell over from inside its focus handling, even while a window closes: the
        // error is shown once that is over, not from within it.
        QMetaObject::invokeMethod(
            qApp,
            [error = std::current_exception()] {
                try {
                    std::rethrow_exception(error);
                } catch (...) {
                    HandleException();
                }
            },
            Qt::QueuedConnection);
        return false;
    }
}

bool TDBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    const bool opening = trigger == AllEditTriggers || (editTriggers() & trigger);
    if (!opening || state() == EditingState)
        return QTableView::edit(index, trigger, event);
    if (!index.isValid() || index.row() != ActiveRow() || !CanEditColumn(index.column()))
        return false;
    // The cell opens only when the data source lets the record be edited (AutoEdit).
    bool editing = false;
    if (!Guarded([&] { editing = FDataLink->Edit(); }) || !editing)
        return false;
    return QTableView::edit(model()->index(ActiveRow(), index.column()), trigger, event);
}

void TDBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool tab =
        hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem;
    QTableView::closeEditor(editor, tab ? QAbstractItemDelegate::NoHint : hint);
    if (FClosingSilently)
        return;
    Guarded([&] {
        if (hint == QAbstractItemDelegate::RevertModelCache) {
            CancelEdit();
        } else if (tab && (FOptions & dgTabs)) {
            TabMove(hint == QAbstractItemDelegate::EditNextItem);
            // Tabbing on within the record being edited (or into a new one) keeps a cell open.
            if (const TDataSet *dataSet = DataSet(); dataSet && dataSet->State() != TDataSetState::Browse)
                edit(currentIndex(), AllEditTriggers, nullptr);
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Moving and changing records

void TDBGrid::MoveToRow(int row)
{
    TDataSet *dataSet = DataSet();
    if (!dataSet || row < 0 || row >= WindowRowCount() || row == ActiveRow())
        return;
    if (dataSet->State() == TDataSetState::Browse) {
        dataSet->MoveBy(row - ActiveRow());
        return;
    }
    // Leaving a record being edited posts it (or drops an untouched new one), which refills the
    // window: the row clicked is found again by its bookmark.
    const TBookmark target = RowBookmark(row);
    dataSet->CheckBrowseMode();
    if (target.IsEmpty())
        return;
    for (int i = 0; i < WindowRowCount(); ++i) {
        if (RowBookmark(i) == target) {
            dataSet->MoveBy(i - ActiveRow());
            return;
        }
    }
    if (dataSet->BookmarkValid(target)) {
        FPreferredRow = row;
        dataSet->GotoBookmark(target);
    }
}

bool TDBGrid::UntouchedInsert() const
{
    const TDataSet *dataSet = DataSet();
    return dataSet && dataSet->State() == TDataSetState::Insert && !dataSet->Modified() && !EditorChanged();
}

void TDBGrid::NextRecord()
{
    TDataSet *dataSet = DataSet();
    if (!dataSet)
        return;
    if (UntouchedInsert()) {
        // An untouched new row at the end stays the last; one inserted above others is dropped.
        if (ActiveRow() >= 0 && ActiveRowAppended())
            return;
        CloseOpenEditor();
        dataSet->Cancel();
        return;
    }
    if (dataSet->MoveBy(1) == 0 && dataSet->State() == TDataSetState::Browse && CanEditData()) {
        TFlagGuard appending(FAppending);
        dataSet->Append();
    }
}

void TDBGrid::PriorRecord()
{
    TDataSet *dataSet = DataSet();
    if (!dataSet)
        return;
    if (UntouchedInsert()) {
        CloseOpenEditor();
        dataSet->Cancel();
        return;
    }
    dataSet->MoveBy(-1);
}

void TDBGrid::MoveRecords(int distance)
{
    if (TDataSet *dataSet = DataSet())
        dataSet->MoveBy(distance);
}

void TDBGrid::TabMove(bool forward)
{
    const int count = ColumnCount();
    if (count == 0)
        return;
    const int column = SelectedIndex();
    if (forward && column < count - 1) {
        SetSelectedIndex(column + 1);
    } else if (!forward && column > 0) {
        SetSelectedIndex(column - 1);
    } else if (forward) {
        NextRecord();
        SetSelectedIndex(0);
    } else {
        PriorRecord();
        SetSelectedIndex(count - 1);
    }
}

void TDBGrid::InsertRecord()
{
    if (!CanEditData())
        return;
    CloseOpenEditor();
    DataSet()->Insert();
}

void TDBGrid::DeleteRecord()
{
    TDataSet *dataSet = DataSet();
    if (!dataSet || FDataLink->ReadOnly() || !dataSet->CanModify())
        return;
    CloseOpenEditor();
    // A new row is not stored yet: dropping it deletes nothing.
    if (dataSet->State() == TDataSetState::Insert) {
        dataSet->Cancel();
        return;
    }
    if (dataSet->IsEmpty())
        return;
    if ((FOptions & dgConfirmDelete) &&
        TMessageBox::Show(this, tr("Delete record?"), tr("Confirm"), QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Question) != QMessageBox::Ok)
        return;
    dataSet->Delete();
}

void TDBGrid::CancelEdit()
{
    CloseOpenEditor();
    if (TDataSet *dataSet = DataSet())
        dataSet->Cancel();
}

// ---------------------------------------------------------------------------------------------
// Keyboard, mouse and focus

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = modifiers == Qt::NoModifier;
    const bool control = modifiers == Qt::ControlModifier;
    TDataSet *dataSet = DataSet();
    std::function<void()> action;
    switch (event->key()) {
    case Qt::Key_Up:
        if (plain)
            action = [this] { PriorRecord(); };
        break;
    case Qt::Key_Down:
        if (plain)
            action = [this] { NextRecord(); };
        break;
    case Qt::Key_PageUp:
        if (plain)
            action = [this] { MoveRecords(-WindowSize()); };
        break;
    case Qt::Key_PageDown:
        if (plain)
            action = [this] { MoveRecords(WindowSize()); };
        break;
    case Qt::Key_Home:
        if (control && dataSet)
            action = [dataSet] { dataSet->First(); };
        break;
    case Qt::Key_End:
        if (control && dataSet)
            action = [dataSet] { dataSet->Last(); };
        break;
    case Qt::Key_Insert:
        if (plain)
            action = [this] { InsertRecord(); };
        break;
    case Qt::Key_Delete:
        if (control)
            action = [this] { DeleteRecord(); };
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (FOptions & dgTabs) {
            const bool forward = event->key() == Qt::Key_Tab && !(modifiers & Qt::ShiftModifier);
            action = [this, forward] { TabMove(forward); };
        }
        break;
    case Qt::Key_Escape:
        // With nothing to cancel, Escape belongs to the window (a dialog closes).
        if (plain && dataSet && dataSet->State() != TDataSetState::Browse)
            action = [this] { CancelEdit(); };
        else
            event->ignore();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (plain && CanEditColumn(SelectedIndex()))
            action = [this] { edit(currentIndex(), AllEditTriggers, nullptr); };
        else
            event->ignore();
        break;
    default:
        break;
    }
    if (action) {
        Guarded(action);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QTableView::keyPressEvent(event);
}

void TDBGrid::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.row() != ActiveRow()) {
        const int row = index.row();
        if (!Guarded([&] { MoveToRow(row); }))
            return;
        if (ActiveRow() != row) {
            // The window changed under the click (a post refilled it): the click has landed.
            SetSelectedIndex(index.column());
            setFocus(Qt::MouseFocusReason);
            event->accept();
            return;
        }
    }
    QTableView::mousePressEvent(event);
}

void TDBGrid::FocusChanged(QWidget *old, QWidget *now)
{
    // Only a move to another control of the same window leaves the grid; a message box, a menu
    // or another program taking the focus does not.
    if (!now || now->window() != window())
        return;
    const auto inside = [this](const QWidget *widget) {
        return widget && (widget == this || isAncestorOf(widget));
    };
    if (!inside(old) || inside(now))
        return;
    Guarded([&] {
        if ((FOptions & dgCancelOnExit) && UntouchedInsert())
            DataSet()->Cancel();
    });
}

// ---------------------------------------------------------------------------------------------
// Scrolling

void TDBGrid::updateGeometries()
{
    // The view takes its vertical offset from the bar's value: held at 0 while it lays out, the
    // rows of the window stay in sight whatever the bar shows.
    verticalScrollBar()->setValue(0);
    QTableView::updateGeometries();
    UpdateScrollBar();
}

void TDBGrid::UpdateScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    const bool whole = !DataSet() || (FTouchesBof && FTouchesEof);
    bar->setRange(0, whole ? 0 : 2);
    bar->setPageStep(1);
    bar->setSingleStep(1);
    bar->setValue(whole || FTouchesBof ? 0 : FTouchesEof ? 2 : 1);
    bar->setEnabled(!whole);
}

void TDBGrid::ScrollBarAction(int action)
{
    Guarded([&] {
        TDataSet *dataSet = DataSet();
        if (!dataSet)
            return;
        QScrollBar *bar = verticalScrollBar();
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            MoveRecords(1);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            MoveRecords(-1);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            MoveRecords(WindowSize());
            break;
        case QAbstractSlider::SliderPageStepSub:
            MoveRecords(-WindowSize());
            break;
        case QAbstractSlider::SliderToMinimum:
            dataSet->First();
            break;
        case QAbstractSlider::SliderToMaximum:
            dataSet->Last();
            break;
        case QAbstractSlider::SliderMove:
            if (bar->sliderPosition() == bar->minimum())
                dataSet->First();
            else if (bar->sliderPosition() == bar->maximum())
                dataSet->Last();
            break;
        default:
            break;
        }
    });
    // The slider goes where the window now is, not where the action would have put it.
    UpdateScrollBar();
    verticalScrollBar()->setSliderPosition(verticalScrollBar()->value());
}

void TDBGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QTableView::scrollTo(index, hint);
    UpdateScrollBar();
}

void TDBGrid::wheelEvent(QWheelEvent *event)
{
    if (event->angleDelta().y() == 0) {
        QTableView::wheelEvent(event);
        return;
    }
    FWheelRest += event->angleDelta().y();
    const int notches = FWheelRest / 120;
    FWheelRest -= notches * 120;
    if (notches != 0)
        Guarded([&] { MoveRecords(-notches * QApplication::wheelScrollLines()); });
    event->accept();
}

void TDBGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    CheckWindowSize();
}

bool TDBGrid::viewportEvent(QEvent *event)
{
    const bool result = QTableView::viewportEvent(event);
    // The viewport also changes size without the grid (a scroll bar comes or goes).
    if (event->type() == QEvent::Resize)
        CheckWindowSize();
    return result;
}

void TDBGrid::CheckWindowSize()
{
    TDataSet *dataSet = DataSet();
    // A walk of someone else's is under way when the controls are disabled; its end refills.
    if (!dataSet || FFilling || dataSet->State() != TDataSetState::Browse || dataSet->ControlsDisabled())
        return;
    const int rows = WindowRowCount();
    const int size = WindowSize();
    if (rows > size || (rows < size && !(FTouchesBof && FTouchesEof)))
        Guarded([&] { FillWindow(ActiveRow()); });
}

void TDBGrid::keyboardSearch(const QString &)
{
    // Typing finds no row here: it edits the current cell, or does nothing.
}
