#include "ProgramIcons.h"

#include <QConicalGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap ProgramPicture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 64.0;

    // The disc: a silver face with the rainbow sheen of its data side, and the hole in the middle.
    const QRectF disc(2 * s, 2 * s, 50 * s, 50 * s);
    QConicalGradient sheen(disc.center(), 30);
    sheen.setColorAt(0.0, QColor(0xd8, 0xdc, 0xe6));
    sheen.setColorAt(0.15, QColor(0xb0, 0xe0, 0xff));
    sheen.setColorAt(0.3, QColor(0xf4, 0xf4, 0xf8));
    sheen.setColorAt(0.45, QColor(0xff, 0xd8, 0xa8));
    sheen.setColorAt(0.6, QColor(0xd8, 0xdc, 0xe6));
    sheen.setColorAt(0.75, QColor(0xc8, 0xb8, 0xff));
    sheen.setColorAt(1.0, QColor(0xd8, 0xdc, 0xe6));
    QPainterPath face;
    face.addEllipse(disc);
    face.addEllipse(disc.center(), 5 * s, 5 * s);
    painter.setPen(QPen(QColor(0x60, 0x68, 0x78), 1.5 * s));
    painter.setBrush(sheen);
    painter.drawPath(face);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x90, 0x98, 0xa8), 1 * s));
    painter.drawEllipse(disc.center(), 11 * s, 11 * s);

    // The magnifying glass over its lower right part: what the program does with a disc.
    const QPointF lens(42 * s, 42 * s);
    painter.setPen(QPen(QColor(0x5a, 0x3a, 0x1a), 7 * s, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(lens + QPointF(9 * s, 9 * s), QPointF(60 * s, 60 * s));
    painter.setPen(QPen(QColor(0x20, 0x30, 0x50), 3.5 * s));
    painter.setBrush(QColor(0xe8, 0xf4, 0xff, 0xb0));
    painter.drawEllipse(lens, 12 * s, 12 * s);
    painter.setPen(QPen(Qt::white, 2 * s, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(lens.x() - 8 * s, lens.y() - 8 * s, 16 * s, 16 * s), 100 * 16, 70 * 16);
    return pixmap;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(ProgramPicture(size));
    return icon;
}
