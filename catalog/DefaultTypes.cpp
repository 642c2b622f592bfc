#include "DefaultTypes.h"

#include <QBuffer>
#include <QConicalGradient>
#include <QCoreApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>
#include <cmath>
#include <initializer_list>

namespace {

QColor Rgb(QRgb value)
{
    return QColor::fromRgb(value);
}

// Draws on a grid of 16 units: a unit is one pixel of a small picture and two of a large one.
// Edges and hairlines stay one pixel wide at both sizes, so a large picture gets finer detail
// rather than fatter lines. Nothing is antialiased: a blended pixel at a shape's rim would show
// the background colour through the mask as a fringe.
class TSketch
{
public:
    explicit TSketch(int size) : FImage(size, size, QImage::Format_RGB32), FScale(size / 16.0)
    {
        FImage.fill(DefaultPictureBackground);
        FPainter.begin(&FImage);
        FPainter.setRenderHint(QPainter::Antialiasing, false);
    }

    bool Large() const { return FScale > 1; }
    // One device pixel in units.
    double Pixel() const { return 1 / FScale; }

    // Fills the area and, with a valid edge colour, rims it with a one-pixel edge inside it.
    void Shape(const QPainterPath &path, const QBrush &fill, const QColor &edge = QColor())
    {
        const QPainterPath device = QTransform::fromScale(FScale, FScale).map(path);
        if (!edge.isValid()) {
            FPainter.fillPath(device, fill);
            return;
        }
        FPainter.fillPath(device, edge);
        QPainterPathStroker stroker;
        stroker.setWidth(2);
        stroker.setJoinStyle(Qt::MiterJoin);
        FPainter.fillPath(device.subtracted(stroker.createStroke(device)), fill);
    }

    void Box(double x, double y, double w, double h, const QBrush &fill, const QColor &edge = QColor())
    {
        QPainterPath path;
        path.addRect(x, y, w, h);
        Shape(path, fill, edge);
    }

    void Ellipse(double x, double y, double w, double h, const QBrush &fill, const QColor &edge = QColor())
    {
        QPainterPath path;
        path.addEllipse(x, y, w, h);
        Shape(path, fill, edge);
    }

    void Polygon(std::initializer_list<QPointF> points, const QBrush &fill, const QColor &edge = QColor())
    {
        QPainterPath path;
        path.addPolygon(QPolygonF(points));
        path.closeSubpath();
        Shape(path, fill, edge);
    }

    // Lines one device pixel thick, whatever the size.
    void HLine(double x, double y, double w, const QColor &color)
    {
        FPainter.fillRect(QRectF(x * FScale, y * FScale, std::round(w * FScale), 1), color);
    }
    void VLine(double x, double y, double h, const QColor &color)
    {
        FPainter.fillRect(QRectF(x * FScale, y * FScale, 1, std::round(h * FScale)), color);
    }

    // A line one unit wide through the centres of the given pixels of the small picture.
    void Stroke(std::initializer_list<QPointF> pixels, const QColor &color)
    {
        QPolygonF line;
        for (const QPointF &pixel : pixels)
            line << (pixel + QPointF(0.5, 0.5)) * FScale;
        FPainter.setPen(QPen(color, FScale, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        FPainter.setBrush(Qt::NoBrush);
        FPainter.drawPolyline(line);
    }

    QBrush Vertical(double top, double bottom, const QColor &topColor, const QColor &bottomColor) const
    {
        QLinearGradient gradient(0, top * FScale, 0, bottom * FScale);
        gradient.setColorAt(0, topColor);
        gradient.setColorAt(1, bottomColor);
        return gradient;
    }

    // The sheen of a disc's recorded side: colours turning around its centre.
    QBrush Sheen(double cx, double cy, std::initializer_list<QRgb> colors) const
    {
        QConicalGradient gradient(cx * FScale, cy * FScale, 45);
        const int count = int(colors.size());
        int index = 0;
        for (const QRgb color : colors)
            gradient.setColorAt(double(index++) / count, Rgb(color));
        gradient.setColorAt(1, Rgb(*colors.begin()));
        return gradient;
    }

    QImage Finish()
    {
        FPainter.end();
        return FImage;
    }

private:
    QImage FImage;
    double FScale;
    QPainter FPainter;
};

const QColor Ink = Rgb(0x3c4650);
const QColor PageEdge = Rgb(0x707c88);
const QColor FolderEdge = Rgb(0xa0701a);

// Text rows: every other pixel on a small picture, every third on a large one.
void TextLines(TSketch &k, double x, double top, double bottom, double width, const QColor &color)
{
    const double step = k.Large() ? 1.5 : 2;
    for (double y = top; y < bottom; y += step)
        k.HLine(x, y, y + step >= bottom ? std::round(width * 0.6) : width, color);
}

// The sheet every file type is drawn on; its inside from row 5 down is free for a glyph.
void DrawPage(TSketch &k)
{
    k.Polygon({{2, 0}, {10, 0}, {14, 4}, {14, 16}, {2, 16}}, k.Vertical(0, 16, Rgb(0xffffff), Rgb(0xe2e7ed)),
              PageEdge);
    k.Polygon({{10, 0}, {14, 4}, {10, 4}}, Rgb(0xd3dae2), PageEdge);
}

void DrawDisc(TSketch &k, double x, double y, double d, const QBrush &sheen, const QColor &edge,
              const QColor &hole)
{
    k.Ellipse(x, y, d, d, sheen, edge);
    const double hub = d * 3 / 8;
    k.Ellipse(x + (d - hub) / 2, y + (d - hub) / 2, hub, hub, Rgb(0xf4f6f8), Rgb(0x9aa2aa));
    const double centre = d / 8;
    k.Ellipse(x + (d - centre) / 2, y + (d - centre) / 2, centre, centre, hole);
}

QBrush CDSheen(TSketch &k, double cx, double cy)
{
    return k.Sheen(cx, cy, {0xe6e9ee, 0xa9dcf5, 0xf2f2f4, 0xf3c6ec, 0xdfe3e8, 0xc4efc4, 0xf6f0c8});
}

void DrawOpenFolder(TSketch &k)
{
    k.Polygon({{0, 2}, {6, 2}, {7, 3}, {15, 3}, {15, 14}, {0, 14}},
              k.Vertical(2, 14, Rgb(0xf2c450), Rgb(0xd99e28)), FolderEdge);
    k.Box(2, 4, 11, 6, Rgb(0xffffff), PageEdge);
    k.Polygon({{3, 7}, {16, 7}, {13, 14}, {0, 14}}, k.Vertical(7, 14, Rgb(0xffeaa0), Rgb(0xf5c445)),
              FolderEdge);
}

void DrawFolder(TSketch &k)
{
    k.Polygon({{0, 2}, {6, 2}, {7, 3}, {16, 3}, {16, 14}, {0, 14}}, Rgb(0xe0a630), FolderEdge);
    k.Box(0, 5, 16, 9, k.Vertical(5, 14, Rgb(0xffe28e), Rgb(0xf4bf42)), FolderEdge);
}

void DrawCD(TSketch &k)
{
    // The hole takes the background colour, so the mask cuts it out and the list shows through.
    DrawDisc(k, 0, 0, 16, CDSheen(k, 8, 8), Rgb(0x6c7680), QColor::fromRgb(DefaultPictureBackground));
}

void DrawUnknown(TSketch &k)
{
    DrawPage(k);
}

void DrawDVD(TSketch &k)
{
    DrawDisc(k, 0, 0, 16, k.Sheen(8, 8, {0xf3dc8c, 0xd9b4f0, 0xfff3c8, 0xe8a8c8, 0xf0d070, 0xc8b8f8}),
             Rgb(0x8a6a30), QColor::fromRgb(DefaultPictureBackground));
}

void DrawHardDisk(TSketch &k)
{
    k.Polygon({{2, 3}, {14, 3}, {16, 7}, {0, 7}}, k.Vertical(3, 7, Rgb(0xf0f2f4), Rgb(0xc4c9cf)),
              Rgb(0x5c646c));
    k.Box(0, 6, 16, 7, k.Vertical(6, 13, Rgb(0xb4bac2), Rgb(0x7c848e)), Rgb(0x4c545c));
    k.HLine(2, 9, 7, Rgb(0x4c545c));
    k.HLine(2, 10, 7, Rgb(0xe0e4e8));
    k.Box(12, 9, 2, 2, Rgb(0x30e040), Rgb(0x188020));
}

void DrawFloppy(TSketch &k)
{
    k.Polygon({{1, 1}, {14, 1}, {15, 2}, {15, 15}, {1, 15}}, k.Vertical(1, 15, Rgb(0x4a72c0), Rgb(0x2c4c90)),
              Rgb(0x1a2c58));
    k.Box(4, 1, 8, 5, k.Vertical(1, 6, Rgb(0xe4e8ec), Rgb(0xa8b0b8)), Rgb(0x5c646c));
    k.Box(9, 2, 2, 3, Rgb(0x2c4c90));
    k.Box(3, 8, 10, 7, Rgb(0xfcfcf8), Rgb(0x1a2c58));
    TextLines(k, 4, 10, 14, 8, Rgb(0x8a94a0));
}

void DrawUsbStick(TSketch &k)
{
    k.Box(10, 5, 6, 6, k.Vertical(5, 11, Rgb(0xf0f2f4), Rgb(0xaab2ba)), Rgb(0x5c646c));
    k.Box(12, 6.5, 2, 1, Ink);
    k.Box(12, 8.5, 2, 1, Ink);
    k.Polygon({{1, 3}, {10, 3}, {11, 4}, {11, 12}, {10, 13}, {1, 13}, {0, 12}, {0, 4}},
              k.Vertical(3, 13, Rgb(0x5a86d0), Rgb(0x2a4c8c)), Rgb(0x17284c));
    k.Box(2, 5, 6, 6, Rgb(0xdfe8f4), Rgb(0x17284c));
    k.Box(9, 7, 1, 2, Rgb(0x60f070));
}

void DrawMemoryCard(TSketch &k)
{
    k.Polygon({{3, 0}, {10, 0}, {13, 3}, {13, 16}, {3, 16}}, k.Vertical(0, 16, Rgb(0x4a525c), Rgb(0x2a3038)),
              Rgb(0x14181c));
    for (int pin = 0; pin < 4; ++pin)
        k.Box(4 + 2 * pin, 1, 1, 3, Rgb(0xe8c050));
    k.Box(4, 7, 8, 7, Rgb(0xf4f4f4), Rgb(0x14181c));
    k.Box(5, 8, 6, 2, Rgb(0x3a78d8));
}

void DrawText(TSketch &k)
{
    DrawPage(k);
    const QColor line = Rgb(0x7c8896);
    k.HLine(4, 2, 5, line);
    TextLines(k, 4, 5, 15, 8, line);
}

void DrawDocument(TSketch &k)
{
    DrawPage(k);
    k.Box(4, 2, 5, 2, Rgb(0x2f6fd0));
    TextLines(k, 4, 6, 15, 8, Rgb(0x4a6aa8));
}

void DrawPdf(TSketch &k)
{
    DrawPage(k);
    TextLines(k, 4, 2, 8, 5, Rgb(0x7c8896));
    k.Box(3, 9, 10, 5, k.Vertical(9, 14, Rgb(0xf05050), Rgb(0xb81c1c)));
    k.HLine(5, 11, 6, Rgb(0xffffff));
}

void DrawSpreadsheet(TSketch &k)
{
    DrawPage(k);
    const QColor green = Rgb(0x1e8a3c);
    k.Box(4, 5, 8, 9, Rgb(0xffffff), green);
    k.Box(4, 5, 8, 2, green);
    for (const double x : {6.5, 9.0})
        k.VLine(x, 5, 9, green);
    for (const double y : {9.0, 11.0})
        k.HLine(4, y, 8, green);
}

void DrawPresentation(TSketch &k)
{
    DrawPage(k);
    k.Box(3, 5, 10, 7, Rgb(0xffffff), Rgb(0xc85a18));
    k.Box(3, 5, 10, 2, Rgb(0xe87a28));
    k.Box(5, 9, 1, 2, Rgb(0xe87a28));
    k.Box(7, 8, 1, 3, Rgb(0x3a78d8));
    k.Box(9, 7.5, 1, 3.5, Rgb(0x30a050));
    k.VLine(8, 12, 2, Rgb(0xc85a18));
}

void DrawPicture(TSketch &k)
{
    DrawPage(k);
    k.Box(3, 5, 10, 9, k.Vertical(5, 14, Rgb(0x70b4f0), Rgb(0xd4ecff)), Rgb(0x3a6890));
    k.Ellipse(9, 6, 2.5, 2.5, Rgb(0xffd030));
    k.Polygon({{4, 13}, {7, 8.5}, {9, 11}, {10, 10}, {12, 13}}, Rgb(0x3c9a40));
}

void DrawAudio(TSketch &k)
{
    DrawPage(k);
    const QColor note = Rgb(0x6a3cb8);
    k.Polygon({{6, 6}, {12, 5}, {12, 7}, {6, 8}}, note);
    k.Box(6, 6, 1, 6.5, note);
    k.Box(11, 5, 1, 6.5, note);
    k.Ellipse(3.5, 11, 3.5, 2.5, note);
    k.Ellipse(8.5, 10, 3.5, 2.5, note);
}

void DrawVideo(TSketch &k)
{
    DrawPage(k);
    k.Box(3, 5, 10, 9, Rgb(0x2c343c));
    for (int hole = 0; hole < 5; ++hole) {
        k.Box(3.5 + 2 * hole, 5.5, 1, 1, Rgb(0xf0f0f0));
        k.Box(3.5 + 2 * hole, 12.5, 1, 1, Rgb(0xf0f0f0));
    }
    k.Box(4, 7.5, 3.5, 4, k.Vertical(7.5, 11.5, Rgb(0x90c8f8), Rgb(0x4080c8)));
    k.Box(8.5, 7.5, 3.5, 4, k.Vertical(7.5, 11.5, Rgb(0x90c8f8), Rgb(0x4080c8)));
}

void DrawArchive(TSketch &k)
{
    DrawPage(k);
    k.Box(6, 0, 4, 16, k.Vertical(0, 16, Rgb(0xf0d8a0), Rgb(0xd8b060)));
    for (double y = 0.5; y < 9; y += 1) {
        const bool left = int(y) % 2 == 0;
        k.Box(left ? 6.5 : 8, y, 1.5, 1, Ink);
    }
    k.Box(6, 9, 4, 6, k.Vertical(9, 15, Rgb(0xf4f6f8), Rgb(0x9aa2aa)), Ink);
    k.Box(7.5, 11, 1, 2, Ink);
}

void DrawProgram(TSketch &k)
{
    k.Box(0, 1, 16, 14, Rgb(0xf2f4f6), Rgb(0x20385c));
    k.Box(0, 1, 16, 4, k.Vertical(1, 5, Rgb(0x4c8ae0), Rgb(0x1e56b0)), Rgb(0x20385c));
    k.Box(12, 2, 2, 2, Rgb(0xffffff));
    k.Box(2, 7, 5, 5, Rgb(0xdfe8f4), Rgb(0x7890b0));
    TextLines(k, 9, 7, 12, 4, Rgb(0x8a94a0));
}

void DrawScript(TSketch &k)
{
    k.Box(0, 1, 16, 14, Rgb(0x1c2228), Rgb(0x4c545c));
    k.Box(0, 1, 16, 3, k.Vertical(1, 4, Rgb(0xd8dce0), Rgb(0xa0a8b0)), Rgb(0x4c545c));
    const QColor prompt = Rgb(0x50e060);
    k.Stroke({{3, 6}, {5, 8}, {3, 10}}, prompt);
    k.Box(7, 10, 4, 1, prompt);
}

void DrawLibrary(TSketch &k)
{
    DrawPage(k);
    QPainterPath gear;
    gear.addEllipse(QPointF(8, 10), 3.5, 3.5);
    for (int tooth = 0; tooth < 8; ++tooth) {
        QPainterPath bar;
        bar.addRect(-1, -5, 2, 10);
        gear = gear.united(QTransform().translate(8, 10).rotate(tooth * 45).map(bar));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(8, 10), 1.5, 1.5);
    // A rim would fill the teeth of the small gear and blot it out.
    k.Shape(gear.subtracted(hole), k.Vertical(5, 15, Rgb(0x7890b0), Rgb(0x3c5474)),
            k.Large() ? Rgb(0x2c3c54) : QColor());
}

void DrawSettings(TSketch &k)
{
    DrawPage(k);
    const QColor rail = Rgb(0x7c8896);
    const QColor knob = Rgb(0x3a78d8);
    const double knobs[] = {5, 9, 6};
    for (int row = 0; row < 3; ++row) {
        const double y = 6.5 + 3 * row;
        k.HLine(4, y, 8, rail);
        k.Box(knobs[row], y - 1.5, 2, 3, knob, Rgb(0x1e4c90));
    }
}

void DrawPackage(TSketch &k)
{
    const QColor edge = Rgb(0x6a4418);
    k.Polygon({{0, 5}, {4, 2}, {16, 2}, {12, 5}}, Rgb(0xe8c488), edge);
    k.Polygon({{11, 5}, {16, 2}, {16, 12}, {12, 15}, {11, 15}},
              k.Vertical(2, 15, Rgb(0xb8843c), Rgb(0x946424)), edge);
    k.Box(0, 5, 12, 10, k.Vertical(5, 15, Rgb(0xdca868), Rgb(0xc08444)), edge);
    k.Polygon({{4, 5}, {7, 2}, {9, 2}, {6, 5}}, Rgb(0xfaf0d8));
    k.Box(4, 5, 2, 4, Rgb(0xfaf0d8), edge);
}

void DrawWebPage(TSketch &k)
{
    DrawPage(k);
    k.Ellipse(3, 5, 10, 10, k.Vertical(5, 15, Rgb(0x78bcf8), Rgb(0x2068c8)), Rgb(0x164688));
    const QBrush land = k.Vertical(5, 15, Rgb(0x70d070), Rgb(0x2c9a3c));
    k.Polygon({{4, 7}, {7, 6}, {8, 8}, {6.5, 9.5}, {7, 11}, {6, 14}, {5, 11.5}, {4, 10}}, land);
    k.Polygon({{9, 6}, {12, 7}, {12, 9}, {10.5, 9.5}, {11, 12}, {9.5, 14}, {9, 10.5}, {8.5, 8.5}}, land);
}

void DrawSource(TSketch &k)
{
    DrawPage(k);
    const QColor bracket = Rgb(0x1e5a9c);
    k.Stroke({{6, 6}, {3, 9}, {6, 12}}, bracket);
    k.Stroke({{9, 6}, {12, 9}, {9, 12}}, bracket);
    k.Stroke({{8, 6}, {7, 12}}, Rgb(0xd05020));
}

void DrawDiscImage(TSketch &k)
{
    DrawPage(k);
    DrawDisc(k, 3, 5, 10, CDSheen(k, 8, 10), Rgb(0x6c7680), Rgb(0xf0f2f4));
}

void DrawFont(TSketch &k)
{
    DrawPage(k);
    const QColor letter = Rgb(0x8a1c1c);
    k.Stroke({{4, 13}, {7, 5}}, letter);
    k.Stroke({{8, 5}, {11, 13}}, letter);
    k.Box(6, 10, 4, 1, letter);
}

void DrawInfo(TSketch &k)
{
    DrawPage(k);
    k.Ellipse(3, 5, 10, 10, k.Vertical(5, 15, Rgb(0x5c9cf0), Rgb(0x1c58b8)), Rgb(0x123c80));
    const QColor letter = Rgb(0xffffff);
    if (k.Large()) {
        k.Box(7, 6.5, 2, 2, letter);
        k.Box(7, 9.5, 2, 4, letter);
    } else {
        k.Box(7, 7, 2, 1, letter);
        k.Box(7, 9, 2, 4, letter);
    }
}

void DrawBook(TSketch &k)
{
    k.Box(4, 2, 11, 14, Rgb(0xf8f6ee), Rgb(0x8a7a60));
    TextLines(k, 13.5, 3, 15, 0.5, Rgb(0xc0b8a0));
    k.Box(2, 0, 11, 14, k.Vertical(0, 14, Rgb(0xd04848), Rgb(0x982424)), Rgb(0x581010));
    k.VLine(4, 1, 12, Rgb(0x581010));
    k.Box(6, 3, 5, 3, Rgb(0xf0d070));
}

void DrawDatabase(TSketch &k)
{
    const QColor edge = Rgb(0x2c3c54);
    const QBrush body = k.Vertical(0, 16, Rgb(0x9cb4d4), Rgb(0x4c6890));
    k.Ellipse(2, 11, 12, 4, body, edge);
    k.Box(2, 3, 12, 10, body);
    k.VLine(2, 3, 10, edge);
    k.VLine(14 - k.Pixel(), 3, 10, edge);
    for (const double y : {5.5, 8.5}) {
        k.Ellipse(2, y, 12, 4, edge);
        k.Ellipse(2, y - k.Pixel(), 12, 4, body);
    }
    k.Ellipse(2, 1, 12, 4, k.Vertical(1, 5, Rgb(0xe4ecf6), Rgb(0xb0c4de)), edge);
}

void DrawMail(TSketch &k)
{
    const QColor edge = Rgb(0x7a6a40);
    k.Box(0, 3, 16, 11, k.Vertical(3, 14, Rgb(0xfffdf0), Rgb(0xf0e6c4)), edge);
    k.Stroke({{1, 4}, {7, 9}, {8, 9}, {14, 4}}, edge);
    k.Stroke({{1, 12}, {5, 9}}, edge);
    k.Stroke({{14, 12}, {10, 9}}, edge);
}

void DrawShortcut(TSketch &k)
{
    k.Box(1, 1, 14, 14, k.Vertical(1, 15, Rgb(0xffffff), Rgb(0xe2e7ed)), PageEdge);
    const QColor arrow = Rgb(0x1e60c0);
    k.Stroke({{4, 12}, {4, 9}, {5, 8}, {9, 8}}, arrow);
    k.Polygon({{9, 4}, {13, 8.5}, {9, 13}}, arrow);
}

using TDraw = void (*)(TSketch &);

struct TEntry
{
    bool CD;
    const char *Description;
    const char *Extensions;
    TDraw Draw;
};

// The first four are the reserved pictures; volume pictures follow so a picker lists them together.
const TEntry Entries[] = {
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Open folder"), "", DrawOpenFolder},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Folder"), "", DrawFolder},
    {true, QT_TRANSLATE_NOOP("DefaultTypes", "CD-ROM disc"), "", DrawCD},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Unknown"), "", DrawUnknown},
    {true, QT_TRANSLATE_NOOP("DefaultTypes", "DVD disc"), "", DrawDVD},
    {true, QT_TRANSLATE_NOOP("DefaultTypes", "Hard disk"), "", DrawHardDisk},
    {true, QT_TRANSLATE_NOOP("DefaultTypes", "Floppy disk"), "", DrawFloppy},
    {true, QT_TRANSLATE_NOOP("DefaultTypes", "USB stick"), "", DrawUsbStick},
    {true, QT_TRANSLATE_NOOP("DefaultTypes", "Memory card"), "", DrawMemoryCard},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Text file"), "txt text log md rst asc lst 1st me", DrawText},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Document"),
     "doc docx docm dot dotx odt ott rtf wri wpd sxw abw", DrawDocument},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "PDF document"), "pdf xps oxps ps", DrawPdf},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Spreadsheet"),
     "xls xlsx xlsm xlsb xlt xltx ods ots csv tsv sxc wk1 wks", DrawSpreadsheet},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Presentation"),
     "ppt pptx pptm pps ppsx pot potx odp otp sxi key", DrawPresentation},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Picture"),
     "jpg jpeg jpe jfif png gif bmp dib tif tiff webp svg svgz ico cur pcx tga psd xcf heic heif avif jp2 "
     "pnm ppm pgm pbm xpm xbm wmf emf eps ai cdr raw cr2 nef dng arw orf exr hdr dds icns",
     DrawPicture},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Sound"),
     "mp3 mp2 wav flac ogg oga opus m4a aac wma mid midi kar mka aif aiff aifc ape wv ra au snd amr ac3 dts "
     "mpc mod xm s3m it voc cda m3u pls",
     DrawAudio},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Video"),
     "avi mp4 m4v mkv mov qt wmv asf mpg mpeg mpe m2v webm flv f4v 3gp 3g2 ogv vob ts m2ts mts rm rmvb divx "
     "dv srt",
     DrawVideo},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Archive"),
     "zip rar 7z gz tar bz2 xz tgz tbz tbz2 txz cab arj lzh lha z zst lz lzma ace arc zoo cpio sit sitx jar "
     "war pak",
     DrawArchive},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Program"), "exe com app run elf out scr", DrawProgram},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Command script"),
     "bat cmd btm sh bash csh ksh zsh fish ps1 vbs wsf ahk", DrawScript},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Program library"),
     "dll so ocx sys drv vxd cpl lib a o obj ko bpl dcu", DrawLibrary},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Settings"), "ini cfg conf inf reg json xml yml yaml toml prop",
     DrawSettings},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Installation package"),
     "msi msp msu deb udeb rpm apk pkg snap appx ipa xpi", DrawPackage},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Web page"),
     "htm html xht shtm mht mhtm php asp aspx jsp css js", DrawWebPage},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Source code"),
     "c cc cpp cxx h hh hpp hxx cs java py pas pp dpr dpk rs go rb pl pm lua kt m mm asm s f for f90 vb bas "
     "d hs ml lisp el clj erl ex exs r jl dart sql tcl awk",
     DrawSource},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Disc image"),
     "iso img nrg mdf mds cue bin ccd cdi dmg isz daa uif b5t b6t vhd vhdx vmdk vdi", DrawDiscImage},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Font"), "ttf otf ttc fon fnt pfb pfm afm woff bdf pcf",
     DrawFont},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Description"), "nfo diz ion", DrawInfo},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Book or help file"),
     "epub mobi azw azw3 fb2 djvu djv lit prc cbr cbz chm hlp", DrawBook},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Database"), "db db3 s3db sl3 mdb dbf odb fdb gdb nsf",
     DrawDatabase},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "E-mail message"), "eml emlx msg mbox mbx pst ost dbx vcf",
     DrawMail},
    {false, QT_TRANSLATE_NOOP("DefaultTypes", "Shortcut"), "lnk url pif", DrawShortcut},
};

constexpr qint16 EntryCount = qint16(std::size(Entries));

} // namespace

std::vector<TDefaultType> DefaultTypes()
{
    std::vector<TDefaultType> types;
    types.reserve(EntryCount);
    for (qint16 id = 0; id < EntryCount; ++id) {
        const TEntry &entry = Entries[id];
        types.push_back({id, entry.CD, QCoreApplication::translate("DefaultTypes", entry.Description),
                         QString::fromLatin1(entry.Extensions).split(QLatin1Char(' '), Qt::SkipEmptyParts)});
    }
    return types;
}

QByteArray DefaultPicture(qint16 imageId, int size)
{
    if (imageId < 0 || imageId >= EntryCount || (size != 16 && size != 32))
        return {};
    TSketch sketch(size);
    Entries[imageId].Draw(sketch);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    sketch.Finish().save(&buffer, "BMP");
    return bytes;
}

std::vector<TDefaultPattern> DefaultInfoPatterns()
{
    return {
        {QStringLiteral("file_id.diz"), true, false}, {QStringLiteral("descript.ion"), false, true},
        {QStringLiteral("*.diz"), false, true},       {QStringLiteral("*.nfo"), true, false},
        {QStringLiteral("readme.txt"), true, false},  {QStringLiteral("readme.1st"), true, false},
        {QStringLiteral("readme.md"), true, false},   {QStringLiteral("read.me"), true, false},
        {QStringLiteral("readme"), true, false},
    };
}
