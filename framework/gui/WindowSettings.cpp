#include "WindowSettings.h"

#include <QGuiApplication>
#include <QList>
#include <QRect>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>

namespace {

// So much of a window's top edge has to be on a screen for the user to reach its title bar.
constexpr int GripWidth = 100;
constexpr int GripHeight = 24;

QList<int> ToSizes(const QVariant &value)
{
    QList<int> sizes;
    for (const QVariant &size : value.toList()) {
        bool ok = false;
        const int number = size.toInt(&ok);
        if (!ok || number < 0)
            return {};
        sizes << number;
    }
    return sizes;
}

} // namespace

// The path is worked out on every use, not once per process as QSettings' own search path is:
// tests, and a program that changes XDG_CONFIG_HOME, get the file of the moment.
TWindowSettings::TWindowSettings(const QString &window)
    : FWindow(window), FSettings(FileName(), QSettings::IniFormat)
{}

QString TWindowSettings::FileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/vor-nex/vor-nex.conf");
}

QString TWindowSettings::Key(const QString &key, const QString &name) const
{
    return FWindow + QLatin1Char('/') + (name.isEmpty() ? key : name + QLatin1Char('/') + key);
}

QVariant TWindowSettings::Value(const QString &key, const QVariant &defaultValue) const
{
    return FSettings.value(Key(key), defaultValue);
}

void TWindowSettings::SetValue(const QString &key, const QVariant &value)
{
    FSettings.setValue(Key(key), value);
}

void TWindowSettings::RestoreGeometry(QWidget *window, bool heightToo) const
{
    const QVariant position = FSettings.value(Key(QStringLiteral("Position")));
    QSize size = FSettings.value(Key(QStringLiteral("Size"))).toSize();
    if (size.isValid()) {
        if (!heightToo)
            size.setHeight(window->height());
        window->resize(size.expandedTo(window->minimumSize()).boundedTo(window->maximumSize()));
    }
    if (position.isValid())
        window->move(position.toPoint());
    EnsureOnScreen(window);
    if (FSettings.value(Key(QStringLiteral("Maximized")), false).toBool())
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void TWindowSettings::SaveGeometry(const QWidget *window)
{
    const bool maximized = window->isMaximized() || window->isFullScreen();
    FSettings.setValue(Key(QStringLiteral("Maximized")), maximized);
    if (maximized)
        return;
    FSettings.setValue(Key(QStringLiteral("Position")), window->pos());
    FSettings.setValue(Key(QStringLiteral("Size")), window->size());
}

void TWindowSettings::RestoreSplitter(QSplitter *splitter) const
{
    const QList<int> sizes =
        ToSizes(FSettings.value(Key(splitter->objectName(), QStringLiteral("Splitters"))));
    // Sizes from another layout of the window, or all zero, would hide its panes.
    if (sizes.size() != splitter->count() ||
        std::all_of(sizes.begin(), sizes.end(), [](int s) { return s == 0; }))
        return;
    splitter->setSizes(sizes);
}

void TWindowSettings::SaveSplitter(const QSplitter *splitter)
{
    QVariantList sizes;
    for (int size : splitter->sizes())
        sizes << size;
    FSettings.setValue(Key(splitter->objectName(), QStringLiteral("Splitters")), sizes);
}

void TWindowSettings::EnsureOnScreen(QWidget *window)
{
    const QRect frame(window->pos(), window->size());
    const QRect grip(frame.topLeft(), QSize(std::min(frame.width(), GripWidth), GripHeight));
    QScreen *nearest = nullptr;
    qint64 nearestDistance = 0;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect available = screen->availableGeometry();
        if (available.intersected(grip).width() >= std::min(grip.width(), GripWidth / 2) &&
            available.intersected(grip).height() >= GripHeight / 2)
            return;
        const QPoint offset = available.center() - frame.center();
        const qint64 distance = qint64(offset.x()) * offset.x() + qint64(offset.y()) * offset.y();
        if (!nearest || distance < nearestDistance) {
            nearest = screen;
            nearestDistance = distance;
        }
    }
    if (!nearest)
        return;
    const QRect available = nearest->availableGeometry();
    const QSize size = window->size().boundedTo(available.size()).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    QRect placed(QPoint(), size);
    placed.moveCenter(available.center());
    // A window larger than the screen shows its title bar, not its middle.
    window->move(std::max(placed.left(), available.left()), std::max(placed.top(), available.top()));
}
