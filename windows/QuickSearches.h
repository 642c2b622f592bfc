#pragma once

#include "FindRows.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <vector>

class QLabel;
class QLineEdit;
class TListView;

// The explorer's quick search: typing in the box lists the entries of every volume whose names
// hold the text, in a list of results that the explorer shows in place of the folder's entries.
// The search runs beside the window (TFindRows), so typing never waits for it.
class TQuickSearch : public QWidget
{
    Q_OBJECT

public:
    explicit TQuickSearch(QWidget *parent = nullptr);
    ~TQuickSearch() override;

    // The box lives wherever the explorer puts it; the results are this widget.
    QLineEdit *SearchBox = nullptr;
    QLabel *SearchStatus = nullptr;
    TListView *SearchResults = nullptr;

    // The most results shown; a search that finds more offers the Find window for the rest.
    int Limit() const { return FLimit; }
    void SetLimit(int value) { FLimit = std::max(1, value); }
    // Whether the box holds a text, so the results are what the explorer shows.
    bool Active() const { return FActive; }
    // The name pattern searched for the text of the box.
    QString Pattern() const;
    // Empties the box; the results go.
    void Clear();

signals:
    void ActiveChanged(bool active);
    // A result got the focus.
    void ResultFocused(const TFoundEntry &entry);
    // Enter or a double click on a result: the entry and the folder it is in.
    void OpenEntry(int id, int folder);
    // The user wants every result, which the Find window shows.
    void MoreWanted(const QString &pattern);
    // Escape: the user is done searching.
    void Left();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void TextChanged();
    void StartSearch();
    void ShowRows(const QList<TFoundEntry> &rows);
    void SearchFinished(bool more);
    void SearchFailed(const QString &message);
    void ClearResults();
    void OpenFocused();
    void Leave();

    TFindRows *FRows = nullptr;
    QTimer FDebounce;
    QElapsedTimer FSinceKey;
    std::vector<TFoundEntry> FFound; // what the items stand for, by the index each item holds
    int FLimit = 500;
    bool FActive = false;
    bool FReplacing = false; // the shown results belong to the search before the running one
};
