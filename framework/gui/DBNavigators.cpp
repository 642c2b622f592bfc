#include "DBNavigators.h"

#include "ErrorHandlers.h"
#include "MessageBoxes.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <cmath>

class TNavDataLink : public TDataLink
{
public:
    explicit TNavDataLink(TDBNavigator *navigator) : FNavigator(navigator) {}

protected:
    void ActiveChanged() override { FNavigator->UpdateButtons(); }
    void DataSetChanged() override { FNavigator->UpdateButtons(); }
    void EditingChanged() override { FNavigator->UpdateButtons(); }

private:
    TDBNavigator *FNavigator;
};

namespace {

const char *const ButtonNames[NavigateBtnCount] = {"nbFirst",  "nbPrior", "nbNext", "nbLast",   "nbInsert",
                                                   "nbDelete", "nbEdit",  "nbPost", "nbCancel", "nbRefresh"};

QString StandardHint(TNavigateBtn button)
{
    switch (button) {
    case nbFirst:
        return TDBNavigator::tr("First record");
    case nbPrior:
        return TDBNavigator::tr("Prior record");
    case nbNext:
        return TDBNavigator::tr("Next record");
    case nbLast:
        return TDBNavigator::tr("Last record");
    case nbInsert:
        return TDBNavigator::tr("Insert record");
    case nbDelete:
        return TDBNavigator::tr("Delete record");
    case nbEdit:
        return TDBNavigator::tr("Edit record");
    case nbPost:
        return TDBNavigator::tr("Post edit");
    case nbCancel:
        return TDBNavigator::tr("Cancel edit");
    case nbRefresh:
        return TDBNavigator::tr("Refresh data");
    }
    return QString();
}

QPainterPath Triangle(QPointF a, QPointF b, QPointF c)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

// The button's picture on a 16 x 16 grid, drawn twice as fine for sharp screens. Post and Cancel
// are green and red when enabled.
QPixmap Glyph(TNavigateBtn button, QColor color, bool enabled)
{
    constexpr qreal scale = 2;
    QPixmap pixmap(int(16 * scale), int(16 * scale));
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (enabled && button == nbPost)
        color = QColor(0x2e, 0x7d, 0x32);
    else if (enabled && button == nbCancel)
        color = QColor(0xc6, 0x28, 0x28);
    const QPen line(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (button) {
    case nbFirst:
        painter.fillRect(QRectF(3, 3.5, 1.8, 9), color);
        painter.fillPath(Triangle({12, 3.5}, {6, 8}, {12, 12.5}), color);
        break;
    case nbPrior:
        painter.fillPath(Triangle({10.5, 3.5}, {4.5, 8}, {10.5, 12.5}), color);
        break;
    case nbNext:
        painter.fillPath(Triangle({5.5, 3.5}, {11.5, 8}, {5.5, 12.5}), color);
        break;
    case nbLast:
        painter.fillPath(Triangle({4, 3.5}, {10, 8}, {4, 12.5}), color);
        painter.fillRect(QRectF(11.2, 3.5, 1.8, 9), color);
        break;
    case nbInsert:
        painter.fillRect(QRectF(7.1, 3, 1.8, 10), color);
        painter.fillRect(QRectF(3, 7.1, 10, 1.8), color);
        break;
    case nbDelete:
        painter.fillRect(QRectF(3, 7.1, 10, 1.8), color);
        break;
    case nbEdit:
        painter.fillPath(Triangle({3, 11}, {8, 4.5}, {13, 11}), color);
        break;
    case nbPost: {
        painter.setPen(line);
        const QPointF points[] = {{3.5, 8.5}, {6.5, 11.5}, {12.5, 4.5}};
        painter.drawPolyline(points, 3);
        break;
    }
    case nbCancel:
        painter.setPen(line);
        painter.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
        painter.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
        break;
    case nbRefresh: {
        painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::FlatCap));
        const QRectF circle(3.5, 3.5, 9, 9);
        painter.drawArc(circle, 60 * 16, 290 * 16);
        // The arrow head sits where the arc starts, pointing on along it.
        const qreal angle = 60 * M_PI / 180;
        const QPointF tip(8 + 4.5 * std::cos(angle), 8 - 4.5 * std::sin(angle));
        painter.fillPath(
            Triangle(tip + QPointF(-3.2, -1.6), tip + QPointF(1.2, -2.8), tip + QPointF(0.6, 2.2)), color);
        break;
    }
    }
    return pixmap;
}

} // namespace

TDBNavigator::TDBNavigator(QWidget *parent) : QWidget(parent), FDataLink(std::make_unique<TNavDataLink>(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < NavigateBtnCount; ++i) {
        const auto button = TNavigateBtn(i);
        auto *tool = new QToolButton(this);
        tool->setObjectName(QString::fromLatin1(ButtonNames[i]));
        tool->setFocusPolicy(Qt::NoFocus);
        tool->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        tool->setIconSize(QSize(16, 16));
        connect(tool, &QToolButton::clicked, this, [this, button] { Guarded([&] { BtnClick(button); }); });
        layout->addWidget(tool);
        FButtons[size_t(i)] = tool;
    }
    UpdateGlyphs();
    SetHints({});
    UpdateButtons();
}

TDBNavigator::~TDBNavigator()
{
    FDataLink.reset();
}

TDataSource *TDBNavigator::DataSource() const
{
    return FDataLink->DataSource();
}

void TDBNavigator::SetDataSource(TDataSource *value)
{
    FDataLink->SetDataSource(value);
    UpdateButtons();
}

void TDBNavigator::SetVisibleButtons(TNavButtons value)
{
    if (FVisibleButtons == value)
        return;
    FVisibleButtons = value;
    for (int i = 0; i < NavigateBtnCount; ++i)
        FButtons[size_t(i)]->setVisible(value.Contains(TNavigateBtn(i)));
    updateGeometry();
}

void TDBNavigator::SetHints(const QStringList &value)
{
    FHints = value;
    for (int i = 0; i < NavigateBtnCount; ++i) {
        const QString hint = FHints.value(i);
        FButtons[size_t(i)]->setToolTip(hint.isEmpty() ? StandardHint(TNavigateBtn(i)) : hint);
    }
}

void TDBNavigator::SetFlat(bool value)
{
    FFlat = value;
    for (QToolButton *button : FButtons)
        button->setAutoRaise(value);
}

QSize TDBNavigator::sizeHint() const
{
    int visible = 0;
    for (int i = 0; i < NavigateBtnCount; ++i)
        visible += FVisibleButtons.Contains(TNavigateBtn(i)) ? 1 : 0;
    return {visible * 24, 25};
}

void TDBNavigator::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        UpdateGlyphs();
    if (event->type() == QEvent::EnabledChange)
        UpdateButtons();
    QWidget::changeEvent(event);
}

void TDBNavigator::UpdateGlyphs()
{
    const QColor normal = palette().color(QPalette::Active, QPalette::ButtonText);
    const QColor disabled = palette().color(QPalette::Disabled, QPalette::ButtonText);
    for (int i = 0; i < NavigateBtnCount; ++i) {
        QIcon icon;
        icon.addPixmap(Glyph(TNavigateBtn(i), normal, true), QIcon::Normal);
        icon.addPixmap(Glyph(TNavigateBtn(i), disabled, false), QIcon::Disabled);
        FButtons[size_t(i)]->setIcon(icon);
    }
}

void TDBNavigator::UpdateButtons()
{
    const TDataSet *dataSet = FDataLink->Active() ? FDataLink->DataSet() : nullptr;
    const bool active = dataSet && isEnabled();
    const bool canModify = active && dataSet->CanModify();
    const bool editing = active && FDataLink->Editing();
    const bool up = active && !dataSet->Bof();
    const bool down = active && !dataSet->Eof();
    const bool enabled[NavigateBtnCount] = {
        up,
        up,
        down,
        down,
        canModify,
        canModify && !dataSet->IsEmpty(),
        canModify && !editing,
        editing && canModify,
        editing && canModify,
        active && !editing,
    };
    for (int i = 0; i < NavigateBtnCount; ++i)
        FButtons[size_t(i)]->setEnabled(enabled[i]);
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    TDataSet *dataSet = FDataLink->Active() ? FDataLink->DataSet() : nullptr;
    if (!dataSet)
        return;
    BeforeAction(this, button);
    switch (button) {
    case nbFirst:
        dataSet->First();
        break;
    case nbPrior:
        dataSet->Prior();
        break;
    case nbNext:
        dataSet->Next();
        break;
    case nbLast:
        dataSet->Last();
        break;
    case nbInsert:
        dataSet->Insert();
        break;
    case nbDelete:
        if (FConfirmDelete && TMessageBox::Show(this, tr("Delete record?"), tr("Confirm"),
                                                QMessageBox::Ok | QMessageBox::Cancel,
                                                QMessageBox::Question) != QMessageBox::Ok)
            return;
        dataSet->Delete();
        break;
    case nbEdit:
        dataSet->Edit();
        break;
    case nbPost:
        dataSet->Post();
        break;
    case nbCancel:
        dataSet->Cancel();
        break;
    case nbRefresh:
        dataSet->Refresh();
        break;
    }
    // A move that found no record sets the end flag without any notification: look again.
    UpdateButtons();
    emit Clicked(button);
}
