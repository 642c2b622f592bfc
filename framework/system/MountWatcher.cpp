#include "MountWatcher.h"

#include "FileNames.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr long ProcSuperMagic = 0x9fa0;

QByteArray ReadAll(int fd)
{
    QByteArray content;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return content;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        content.append(buffer, got);
    }
    return content;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TMountWatcher::TMountWatcher(const QString &mountInfoPath, QObject *parent)
    : QObject(parent), FPath(mountInfoPath)
{
    if (FPath.isEmpty())
        return;
    if (!StartNotified())
        StartPolled();
}

TMountWatcher::~TMountWatcher()
{
    // The notifier must stop watching before its descriptor goes.
    delete FNotifier;
    if (FFd >= 0)
        ::close(FFd);
}

bool TMountWatcher::StartNotified()
{
    FFd = ::open(TextToFileName(FPath).constData(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0)
        return false;
    // Only procfs signals a change of the mount table; poll() on any other file never would.
    struct statfs info;
    if (::fstatfs(FFd, &info) != 0 || info.f_type != ProcSuperMagic) {
        ::close(FFd);
        FFd = -1;
        return false;
    }
    FContent = ReadAll(FFd);
    FNotifier = new QSocketNotifier(FFd, QSocketNotifier::Exception, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TMountWatcher::CheckNotified);
    FMode = TMode::Notified;
    return true;
}

void TMountWatcher::StartPolled()
{
    FContent = ReadAll(FPath);
    FTimer = new QTimer(this);
    FTimer->setInterval(PollInterval);
    connect(FTimer, &QTimer::timeout, this, &TMountWatcher::CheckPolled);
    FTimer->start();
    FMode = TMode::Polled;
}

// The kernel reports a change once per poll; the table is read again so that a change undone
// before we looked (mounted and unmounted) stays silent.
void TMountWatcher::CheckNotified()
{
    Compare(ReadAll(FFd));
}

void TMountWatcher::CheckPolled()
{
    Compare(ReadAll(FPath));
}

void TMountWatcher::Compare(QByteArray content)
{
    if (content == FContent)
        return;
    FContent = std::move(content);
    emit Changed();
}
