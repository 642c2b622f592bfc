#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

class QSplitter;
class QWidget;

// What the user set up in a window (its place and size, splitters, choices of what it shows),
// kept between runs in $XDG_CONFIG_HOME/vor-nex/vor-nex.conf, one group per window.
class TWindowSettings
{
public:
    explicit TWindowSettings(const QString &window);
    TWindowSettings(const TWindowSettings &) = delete;
    TWindowSettings &operator=(const TWindowSettings &) = delete;

    // The file the settings live in: the one QSettings names for organisation and application
    // "vor-nex" on Linux, read and written in the INI format.
    static QString FileName();

    // Puts the window where it was and gives it the width it had and, with heightToo, its height
    // (never below its minimum, never beyond its maximum): a window whose height follows what it
    // shows keeps its own. A place no screen shows any longer (a monitor gone, a smaller desktop)
    // is replaced by one on the screen nearest to it.
    void RestoreGeometry(QWidget *window, bool heightToo = true) const;
    // A maximised window keeps the place and size it returns to.
    void SaveGeometry(const QWidget *window);
    void RestoreSplitter(QSplitter *splitter) const;
    void SaveSplitter(const QSplitter *splitter);

    QVariant Value(const QString &key, const QVariant &defaultValue = {}) const;
    void SetValue(const QString &key, const QVariant &value);

    // Brings a top-level window that lies off every screen back onto the nearest one, shrunk to
    // fit it when it can be.
    static void EnsureOnScreen(QWidget *window);

private:
    QString Key(const QString &key, const QString &name = QString()) const;

    QString FWindow;
    // Mutable: reading from QSettings is const in meaning, not in its interface.
    mutable QSettings FSettings;
};
