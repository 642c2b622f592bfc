#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <vector>

class QImage;
class QPainter;

// Pictures of one size at indexes, shared by any number of views. Each picture is kept as a
// pixmap already masked, so drawing one in a view costs nothing but the blit.
class TCustomImageList : public QObject
{
    Q_OBJECT

public:
    explicit TCustomImageList(QObject *owner = nullptr);

    int Width() const { return FWidth; }
    void SetWidth(int value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    QSize Size() const { return {FWidth, FHeight}; }

    bool Masked() const { return FMasked; }
    void SetMasked(bool value);
    bool ShareImages() const { return FShareImages; }
    void SetShareImages(bool value) { FShareImages = value; }
    QColor BkColor() const { return FBkColor; }
    void SetBkColor(const QColor &value);

    int Count() const { return int(FImages.size()); }
    void Clear();
    // The picture is scaled to the list's size; pixels of maskColor turn transparent when the
    // colour is valid and the list is masked. Returns the new index.
    int Add(const QImage &image, const QColor &maskColor = {});
    void Replace(int index, const QImage &image, const QColor &maskColor = {});

    // A null pixmap or icon for an index out of range.
    QPixmap Pixmap(int index) const;
    QIcon Icon(int index) const;
    void Draw(QPainter &painter, int x, int y, int index) const;

    // Many changes, one notification.
    void BeginUpdate();
    void EndUpdate();

signals:
    void Changed();

private:
    QPixmap Prepare(const QImage &image, const QColor &maskColor) const;
    void Change();

    int FWidth = 16;
    int FHeight = 16;
    bool FMasked = true;
    bool FShareImages = false;
    QColor FBkColor;
    std::vector<QPixmap> FImages;
    int FUpdateCount = 0;
    bool FChangedWhileUpdating = false;
};
