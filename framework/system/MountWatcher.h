#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// Tells that the mount table changed: a disc was mounted or ejected, an image attached or
// detached. Stands in for the device-change message of Windows.
class TMountWatcher final : public QObject
{
    Q_OBJECT

public:
    enum class TMode {
        // Watches nothing: a double's watcher, whose Changed() the double emits.
        Idle,
        // The kernel signals changes of /proc/<pid>/mountinfo as an exceptional condition.
        Notified,
        // Any other file, or one the kernel does not signal: compared every second.
        Polled,
    };
    Q_ENUM(TMode)

    static constexpr int PollInterval = 1000;

    explicit TMountWatcher(const QString &mountInfoPath, QObject *parent = nullptr);
    ~TMountWatcher() override;

    TMode Mode() const { return FMode; }

signals:
    void Changed();

private:
    bool StartNotified();
    void StartPolled();
    void CheckNotified();
    void CheckPolled();
    void Compare(QByteArray content);

    QString FPath;
    TMode FMode = TMode::Idle;
    int FFd = -1;
    QSocketNotifier *FNotifier = nullptr;
    QTimer *FTimer = nullptr;
    QByteArray FContent;
};
