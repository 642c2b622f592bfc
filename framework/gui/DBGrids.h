#pragma once

#include "DataSources.h"

#include <QTableView>
#include <memory>
#include <vector>

class TGridDataLink;
class TGridModel;

enum TDBGridOption {
    dgEditing = 0x0001,      // cells can be edited, rows inserted (Insert, Down at the end) and deleted
    dgTitles = 0x0002,       // column titles
    dgIndicator = 0x0004,    // the column that marks the current row and its state
    dgColumnResize = 0x0008, // the user can resize columns
    dgColLines = 0x0010,
    dgRowLines = 0x0020,
    dgTabs = 0x0040,          // Tab moves between cells instead of leaving the grid
    dgRowSelect = 0x0080,     // the whole current row is highlighted, cells are not edited
    dgConfirmDelete = 0x0100, // Ctrl+Delete asks before deleting
    dgCancelOnExit = 0x0200,  // leaving the grid drops a new row the user has not touched
};
Q_DECLARE_FLAGS(TDBGridOptions, TDBGridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDBGridOptions)

// One column of a grid: the field it shows, its title (empty: the field's display label) and its
// width in pixels (0 or less: one fitting the field).
struct TColumn
{
    QString FieldName;
    QString Title;
    int Width = 0;
    bool ReadOnly = false;
};

// A grid over a data set, one row per record, the current record marked. It never reads the whole
// data set: it shows a window of the records around the cursor, as many as fit, and reads them by
// walking the cursor with the controls disabled (so the data set's scroll events do fire during a
// refill). Moving in the grid moves the data set and the other way round; the vertical scroll bar
// moves the cursor too, and only tells whether the window touches the first or the last record.
class TDBGrid : public QTableView
{
    Q_OBJECT

public:
    explicit TDBGrid(QWidget *parent = nullptr);
    ~TDBGrid() override;

    TDataSource *DataSource() const;
    void SetDataSource(TDataSource *value);
    bool ReadOnly() const;
    void SetReadOnly(bool value);
    TDBGridOptions Options() const { return FOptions; }
    void SetOptions(TDBGridOptions value);
    static TDBGridOptions DefaultOptions();

    // No columns: one column per field of the data set.
    const std::vector<TColumn> &Columns() const { return FColumns; }
    void SetColumns(std::vector<TColumn> columns);
    int AddColumn(const QString &fieldName, const QString &title = {}, int width = 0);
    // The field under a column of the grid as shown (null when the data set is closed or has no
    // such field).
    TField *ColumnField(int column) const;
    TField *SelectedField() const;
    int SelectedIndex() const;
    void SetSelectedIndex(int column);

    // Rows in the window, and which of them holds the current record (-1 when none).
    int WindowRowCount() const;
    int ActiveRow() const;
    // A cell editor is open.
    bool EditorMode() const { return OpenEditor() != nullptr; }

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void updateGeometries() override;
    void keyboardSearch(const QString &search) override;

private:
    friend class TGridDataLink;
    friend class TGridModel;

    // Data link notifications.
    void LinkActiveChanged();
    void LinkDataSetChanged();
    void LinkScrolled(int distance);
    void LinkRecordChanged(TField *field);
    void LinkEditingChanged();
    void LinkLayoutChanged();
    void LinkUpdateData();
    void LinkFocusControl(TField *field);

    TDataSet *DataSet() const;
    bool CanEditData() const;
    bool CanEditColumn(int column) const;
    int WindowSize() const;
    void CheckWindowSize();
    int ColumnCount() const;
    TBookmark RowBookmark(int row) const;
    bool ActiveRowAppended() const;
    void BuildColumns();
    void ApplyOptions();
    void FillWindow(int wantedActive);
    void MakeInsertRow();
    void SyncCurrent();
    void UpdateScrollBar();
    void ScrollBarAction(int action);
    void FocusChanged(QWidget *old, QWidget *now);

    // User actions.
    void MoveToRow(int row);
    void NextRecord();
    void PriorRecord();
    void MoveRecords(int distance);
    void TabMove(bool forward);
    void DeleteRecord();
    void CancelEdit();
    void InsertRecord();
    // A new record the user has not typed into yet.
    bool UntouchedInsert() const;

    // The editor of the current cell, if one is open.
    QWidget *OpenEditor() const;
    bool EditorChanged() const;
    void CloseOpenEditor();
    // Writes a cell's text into its field; raises what the field raises.
    void WriteCell(int column, const QString &text);
    bool WriteCellGuarded(int column, const QString &text);

    std::unique_ptr<TDataLink> FDataLink;
    TGridModel *FModel = nullptr;
    TDBGridOptions FOptions;
    std::vector<TColumn> FColumns;
    int FSelectedColumn = 0;
    int FPreferredRow = -1; // where the next refill puts the current record
    int FWheelRest = 0;
    bool FFilling = false;
    bool FSyncing = false;
    bool FAppending = false;
    bool FClosingSilently = false;
    bool FTouchesBof = true; // the window shows the first record
    bool FTouchesEof = true; // the window shows the last record
};
