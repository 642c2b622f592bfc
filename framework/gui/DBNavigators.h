#pragma once

#include "DataSources.h"

#include <QStringList>
#include <QWidget>
#include <array>
#include <initializer_list>
#include <memory>

class QToolButton;
class TNavDataLink;

enum TNavigateBtn {
    nbFirst,
    nbPrior,
    nbNext,
    nbLast,
    nbInsert,
    nbDelete,
    nbEdit,
    nbPost,
    nbCancel,
    nbRefresh
};
constexpr int NavigateBtnCount = nbRefresh + 1;

// A set of navigator buttons.
class TNavButtons
{
public:
    constexpr TNavButtons() = default;
    constexpr TNavButtons(std::initializer_list<TNavigateBtn> buttons)
    {
        for (TNavigateBtn button : buttons)
            FBits |= 1u << button;
    }
    static constexpr TNavButtons All()
    {
        TNavButtons all;
        all.FBits = (1u << NavigateBtnCount) - 1;
        return all;
    }
    constexpr bool Contains(TNavigateBtn button) const { return FBits & (1u << button); }
    friend constexpr bool operator==(TNavButtons, TNavButtons) = default;

private:
    unsigned FBits = 0;
};

// A row of buttons that move through a data set and edit it. Each button is enabled only when its
// action makes sense in the data set's state: First and Prior not at the start, Next and Last not
// at the end, Post and Cancel only while a record is edited or inserted. The buttons take no focus,
// so a control being typed into keeps its text until Post writes it.
class TDBNavigator : public QWidget
{
    Q_OBJECT

public:
    explicit TDBNavigator(QWidget *parent = nullptr);
    ~TDBNavigator() override;

    TDataSource *DataSource() const;
    void SetDataSource(TDataSource *value);
    TNavButtons VisibleButtons() const { return FVisibleButtons; }
    void SetVisibleButtons(TNavButtons value);
    // Delete asks "Delete record?" first.
    bool ConfirmDelete() const { return FConfirmDelete; }
    void SetConfirmDelete(bool value) { FConfirmDelete = value; }
    // One hint per button, in button order; missing or empty ones keep the standard hint.
    const QStringList &Hints() const { return FHints; }
    void SetHints(const QStringList &value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool value);

    QToolButton *Button(TNavigateBtn button) const { return FButtons[size_t(button)]; }

    // Does what the button does, as a click would. Errors propagate.
    void BtnClick(TNavigateBtn button);

    // Runs before each button's action; raising EAbort in it stops the action silently.
    TEvent<TDBNavigator *, TNavigateBtn> BeforeAction;

    QSize sizeHint() const override;

signals:
    // After a button's action ran.
    void Clicked(TNavigateBtn button);

protected:
    void changeEvent(QEvent *event) override;

private:
    friend class TNavDataLink;
    void UpdateButtons();
    void UpdateGlyphs();

    std::unique_ptr<TNavDataLink> FDataLink;
    std::array<QToolButton *, NavigateBtnCount> FButtons{};
    TNavButtons FVisibleButtons = TNavButtons::All();
    bool FConfirmDelete = true;
    bool FFlat = false;
    QStringList FHints;
};
