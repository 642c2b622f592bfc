#include "ImageLists.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>

TCustomImageList::TCustomImageList(QObject *owner) : QObject(owner)
{}

void TCustomImageList::SetWidth(int value)
{
    if (value == FWidth || value <= 0)
        return;
    // Pictures of another size would be drawn wrongly: like the platform's list, a new size
    // starts empty.
    FWidth = value;
    FImages.clear();
    Change();
}

void TCustomImageList::SetHeight(int value)
{
    if (value == FHeight || value <= 0)
        return;
    FHeight = value;
    FImages.clear();
    Change();
}

void TCustomImageList::SetMasked(bool value)
{
    if (value == FMasked)
        return;
    FMasked = value;
    Change();
}

void TCustomImageList::SetBkColor(const QColor &value)
{
    if (value == FBkColor)
        return;
    FBkColor = value;
    Change();
}

void TCustomImageList::Clear()
{
    if (FImages.empty())
        return;
    FImages.clear();
    Change();
}

QPixmap TCustomImageList::Prepare(const QImage &image, const QColor &maskColor) const
{
    QImage scaled = image.size() == Size()
                        ? image
                        : image.scaled(Size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull()) {
        scaled = QImage(Size(), QImage::Format_ARGB32_Premultiplied);
        scaled.fill(Qt::transparent);
    }
    QPixmap pixmap = QPixmap::fromImage(scaled);
    if (FMasked && maskColor.isValid())
        pixmap.setMask(pixmap.createMaskFromColor(maskColor, Qt::MaskInColor));
    return pixmap;
}

int TCustomImageList::Add(const QImage &image, const QColor &maskColor)
{
    FImages.push_back(Prepare(image, maskColor));
    Change();
    return Count() - 1;
}

void TCustomImageList::Replace(int index, const QImage &image, const QColor &maskColor)
{
    if (index < 0 || index >= Count())
        return;
    FImages[size_t(index)] = Prepare(image, maskColor);
    Change();
}

QPixmap TCustomImageList::Pixmap(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return FImages[size_t(index)];
}

QIcon TCustomImageList::Icon(int index) const
{
    const QPixmap pixmap = Pixmap(index);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

void TCustomImageList::Draw(QPainter &painter, int x, int y, int index) const
{
    const QPixmap pixmap = Pixmap(index);
    if (!pixmap.isNull())
        painter.drawPixmap(x, y, pixmap);
}

void TCustomImageList::BeginUpdate()
{
    ++FUpdateCount;
}

void TCustomImageList::EndUpdate()
{
    if (FUpdateCount == 0)
        return;
    if (--FUpdateCount == 0 && FChangedWhileUpdating) {
        FChangedWhileUpdating = false;
        emit Changed();
    }
}

void TCustomImageList::Change()
{
    if (FUpdateCount > 0) {
        FChangedWhileUpdating = true;
        return;
    }
    emit Changed();
}
