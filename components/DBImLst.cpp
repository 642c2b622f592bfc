#include "DBImLst.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPalette>

namespace {

// Restores whatever a scope changed, however it is left.
template <class F> struct TFinally
{
    F Fn;
    ~TFinally() { Fn(); }
};
template <class F> TFinally(F) -> TFinally<F>;

// The colour that a picture without an alpha channel uses for "transparent": its bottom-left
// pixel, or white for a two-colour picture.
QColor transparentColor(const QImage &picture)
{
    if (picture.depth() == 1)
        return Qt::white;
    return picture.pixelColor(0, picture.height() - 1);
}

} // namespace

TCustomDBImageList::TCustomDBImageList(QObject *owner) : TCustomImageList(owner)
{}

void TCustomDBImageList::SetDataSet(TDataSet *value)
{
    if (value == DataSet())
        return;
    FDataSource.SetDataSet(value);
    if (value && value->Active())
        LoadImages();
}

void TCustomDBImageList::SetIDFieldName(const QString &value)
{
    if (value == FIDFieldName)
        return;
    FIDFieldName = value;
    LoadImages();
}

void TCustomDBImageList::SetImageFieldName(const QString &value)
{
    if (value == FImageFieldName)
        return;
    FImageFieldName = value;
    LoadImages();
}

void TCustomDBImageList::Reload()
{
    BeginUpdate();
    TFinally endUpdate{[this] { EndUpdate(); }};
    Clear();
    TDataSet *dataSet = DataSet();
    if (!dataSet)
        return;
    const bool wasOpen = dataSet->Active();
    if (wasOpen)
        dataSet->First();
    else
        dataSet->Open();
    // Also after a failure the data set is left as it was found.
    TFinally restore{[dataSet, wasOpen] {
        if (!dataSet->Active())
            return;
        try {
            if (wasOpen)
                dataSet->First();
            else
                dataSet->Close();
        } catch (...) {
            // Never hides the error that ended the pass.
        }
    }};
    LoadImages();
}

void TCustomDBImageList::LoadImages()
{
    TDataSet *dataSet = DataSet();
    if (!dataSet || !dataSet->Active() || FIDFieldName.isEmpty() || FImageFieldName.isEmpty())
        return;
    TField *idField = dataSet->FieldByName(FIDFieldName);
    if (!idField->IsInteger())
        throw EConvertError(QStringLiteral("Invalid type conversion: field '%1' is not an integer field")
                                .arg(idField->FieldName()));
    TField *pictureField = dataSet->FieldByName(FImageFieldName);
    if (!pictureField->IsBlob())
        throw EConvertError(QStringLiteral("Invalid type conversion: field '%1' is not a blob field")
                                .arg(pictureField->FieldName()));

    const QColor window = QGuiApplication::palette().color(QPalette::Base);
    const QColor text = QGuiApplication::palette().color(QPalette::Text);
    const QRect whole(QPoint(0, 0), Size());
    QImage work(Size(), QImage::Format_ARGB32_Premultiplied);
    QImage picture;
    // Until a picture has loaded there is no colour to leave out: a "Bad" picture shows whole.
    QColor maskColor;

    BeginUpdate();
    // Views bound to the table hear of one move, not of one per picture.
    dataSet->DisableControls();
    TFinally finish{[this, dataSet] {
        dataSet->EnableControls();
        EndUpdate();
    }};
    if (dataSet->Eof() && !dataSet->Bof())
        dataSet->First();
    for (; !dataSet->Eof(); dataSet->Next()) {
        work.fill(window);
        const qint64 id = idField->AsLargeInt();
        if (id < 0 || id > MaxImageID)
            continue;
        if (id - 1 >= Count()) {
            const QImage blank = work;
            while (Count() < id)
                Add(blank);
        }

        QColor mask = maskColor;
        const std::unique_ptr<QIODevice> stream =
            dataSet->CreateBlobStream(pictureField, TBlobStreamMode::Read);
        if (stream->size() == 0) {
            work.fill(Qt::transparent);
            mask = QColor();
        } else if (QImageReader reader(stream.get()); reader.read(&picture)) {
            QPainter painter(&work);
            if (picture.hasAlphaChannel()) {
                // A picture with its own transparency (a PNG, say) needs no colour taken out.
                work.fill(Qt::transparent);
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                mask = QColor();
            } else {
                // Stretched pixel for pixel, so the transparent colour stays exact at the edges.
                maskColor = transparentColor(picture);
                mask = maskColor;
            }
            painter.drawImage(whole, picture);
        } else {
            QPainter painter(&work);
            QFont font = painter.font();
            font.setPixelSize(std::max(7, Height() * 9 / 16));
            painter.setFont(font);
            painter.setPen(text);
            painter.drawText(whole, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Bad"));
        }

        if (id < Count())
            Replace(int(id), work, mask);
        else
            Add(work, mask);
    }
}
