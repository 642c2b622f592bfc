#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// What a test shows, kept as a picture to look at when VNX_SCREENSHOTS names a folder.
inline void KeepScreenshot(const QImage &image, const QString &name)
{
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        image.save(folder + u'/' + name);
}

inline void KeepScreenshot(const QPixmap &pixmap, const QString &name)
{
    KeepScreenshot(pixmap.toImage(), name);
}
