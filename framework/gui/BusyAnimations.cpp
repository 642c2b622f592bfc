#include "BusyAnimations.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

constexpr int FramesPerFilm = 24;

bool IsFind(TCommonAVI avi)
{
    return avi == TCommonAVI::aviFindFolder || avi == TCommonAVI::aviFindFile;
}

// The scene's own size: the pictures are drawn on it and scaled to the widget.
QSize SceneSize(TCommonAVI avi)
{
    if (avi == TCommonAVI::aviNone)
        return {0, 0};
    return IsFind(avi) ? QSize(48, 50) : QSize(272, 60);
}

void DrawFolder(QPainter &painter, const QRectF &box)
{
    const QColor body(0xe8, 0xb8, 0x3a);
    const QColor edge(0x9c, 0x72, 0x10);
    QPainterPath tab;
    tab.moveTo(box.left(), box.top() + box.height() * 0.18);
    tab.lineTo(box.left() + box.width() * 0.08, box.top());
    tab.lineTo(box.left() + box.width() * 0.38, box.top());
    tab.lineTo(box.left() + box.width() * 0.46, box.top() + box.height() * 0.18);
    tab.closeSubpath();
    painter.setPen(QPen(edge, 1));
    painter.setBrush(body.darker(110));
    painter.drawPath(tab);
    painter.setBrush(body);
    painter.drawRoundedRect(
        QRectF(box.left(), box.top() + box.height() * 0.16, box.width(), box.height() * 0.84), 2, 2);
}

void DrawPage(QPainter &painter, const QRectF &box)
{
    const qreal fold = box.width() * 0.3;
    QPainterPath page;
    page.moveTo(box.topLeft());
    page.lineTo(box.right() - fold, box.top());
    page.lineTo(box.right(), box.top() + fold);
    page.lineTo(box.bottomRight());
    page.lineTo(box.bottomLeft());
    page.closeSubpath();
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    painter.setBrush(Qt::white);
    painter.drawPath(page);
    painter.drawLine(QPointF(box.right() - fold, box.top()), QPointF(box.right() - fold, box.top() + fold));
    painter.drawLine(QPointF(box.right() - fold, box.top() + fold), QPointF(box.right(), box.top() + fold));
    painter.setPen(QPen(QColor(0x90, 0xa8, 0xc8), 1));
    for (qreal y = box.top() + fold + 3; y < box.bottom() - 2; y += 3.5)
        painter.drawLine(QPointF(box.left() + 3, y), QPointF(box.right() - 3, y));
}

void DrawMagnifier(QPainter &painter, QPointF centre, qreal radius)
{
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 3, Qt::SolidLine, Qt::RoundCap));
    const QPointF handle = centre + QPointF(radius * 0.72, radius * 0.72);
    painter.drawLine(handle, handle + QPointF(radius * 0.8, radius * 0.8));
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    painter.setBrush(QColor(0xa8, 0xd8, 0xf8, 150));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
    painter.drawArc(QRectF(centre.x() - radius * 0.6, centre.y() - radius * 0.6, radius * 1.2, radius * 1.2),
                    100 * 16, 60 * 16);
}

void DrawFind(QPainter &painter, TCommonAVI avi, qreal phase)
{
    if (avi == TCommonAVI::aviFindFolder)
        DrawFolder(painter, QRectF(6, 14, 30, 24));
    else
        DrawPage(painter, QRectF(10, 6, 24, 32));
    // The glass circles over the picture once per run of the film.
    const qreal angle = 2 * M_PI * phase;
    const QPointF centre(22 + 8 * std::cos(angle), 22 + 7 * std::sin(angle));
    DrawMagnifier(painter, centre, 8);
}

void DrawCopy(QPainter &painter, TCommonAVI avi, qreal phase)
{
    DrawFolder(painter, QRectF(8, 22, 44, 32));
    DrawFolder(painter, QRectF(220, 22, 44, 32));
    // Pages leave the left folder and land in the right one along an arc.
    const int pages = avi == TCommonAVI::aviCopyFiles ? 2 : 1;
    for (int i = 0; i < pages; ++i) {
        const qreal t = std::fmod(phase + qreal(i) / pages, 1.0);
        const qreal x = 24 + (212 - 24) * t;
        const qreal y = 22 - 18 * std::sin(M_PI * t);
        painter.save();
        painter.translate(x + 7, y + 9);
        painter.rotate(-25 + 50 * t);
        DrawPage(painter, QRectF(-7, -9, 14, 18));
        painter.restore();
    }
}

} // namespace

TAnimate::TAnimate(QWidget *parent) : QWidget(parent)
{
    FTimer.setInterval(75);
    connect(&FTimer, &QTimer::timeout, this, &TAnimate::NextFrame);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TAnimate::SetCommonAVI(TCommonAVI value)
{
    if (FCommonAVI == value)
        return;
    const bool active = Active();
    Stop();
    FCommonAVI = value;
    FFrame = std::clamp(FStartFrame, 1, std::max(1, FrameCount()));
    updateGeometry();
    update();
    if (active && value != TCommonAVI::aviNone)
        SetActive(true);
}

int TAnimate::FrameCount() const
{
    return FCommonAVI == TCommonAVI::aviNone ? 0 : FramesPerFilm;
}

int TAnimate::LastFrame() const
{
    return FStopFrame > 0 ? std::min(FStopFrame, FrameCount()) : FrameCount();
}

void TAnimate::SetActive(bool value)
{
    if (value)
        Play(FStartFrame, LastFrame(), FRepetitions);
    else
        Stop();
}

void TAnimate::SetStartFrame(int value)
{
    FStartFrame = std::max(1, value);
}

void TAnimate::SetStopFrame(int value)
{
    FStopFrame = std::max(0, value);
}

void TAnimate::Play(int fromFrame, int toFrame, int count)
{
    if (FrameCount() == 0)
        return;
    FPlayFrom = std::clamp(fromFrame, 1, FrameCount());
    FPlayTo = std::clamp(toFrame, FPlayFrom, FrameCount());
    FPlaysLeft = std::max(0, count);
    ShowFrame(FPlayFrom);
    if (!FTimer.isActive()) {
        FTimer.start();
        emit Started();
    }
}

void TAnimate::Stop()
{
    if (!FTimer.isActive())
        return;
    FTimer.stop();
    emit Stopped();
}

void TAnimate::Seek(int frame)
{
    Stop();
    if (FrameCount() > 0)
        ShowFrame(std::clamp(frame, 1, FrameCount()));
}

void TAnimate::Reset()
{
    Seek(FStartFrame);
}

void TAnimate::NextFrame()
{
    if (FFrame < FPlayTo) {
        ShowFrame(FFrame + 1);
        return;
    }
    if (FPlaysLeft > 0 && --FPlaysLeft == 0) {
        Stop();
        return;
    }
    ShowFrame(FPlayFrom);
}

void TAnimate::ShowFrame(int frame)
{
    if (FFrame == frame)
        return;
    FFrame = frame;
    update();
    emit FrameChanged(frame);
}

QSize TAnimate::sizeHint() const
{
    const QSize scene = SceneSize(FCommonAVI);
    return scene.isEmpty() ? QSize(48, 50) : scene;
}

void TAnimate::paintEvent(QPaintEvent *)
{
    const QSize scene = SceneSize(FCommonAVI);
    if (scene.isEmpty() || FrameCount() == 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The scene keeps its proportions and sits in the middle of a widget of another size.
    const qreal scale = std::min(width() / qreal(scene.width()), height() / qreal(scene.height()));
    painter.translate((width() - scene.width() * scale) / 2, (height() - scene.height() * scale) / 2);
    painter.scale(scale, scale);
    const qreal phase = qreal(FFrame - 1) / FrameCount();
    if (IsFind(FCommonAVI))
        DrawFind(painter, FCommonAVI, phase);
    else
        DrawCopy(painter, FCommonAVI, phase);
}
