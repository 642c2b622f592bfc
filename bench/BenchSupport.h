#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>
#include <functional>
#include <sys/resource.h>

// What the benchmarks share: their output and their clock.

inline QTextStream &BenchOut()
{
    static QTextStream stream(stdout);
    return stream;
}

// Benchmarks of windows draw them without a screen unless told otherwise.
inline void UseOffscreenPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The benchmark's configuration and catalogue go below a scratch folder, never the user's.
inline void UseScratchHome(const QTemporaryDir &dir)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
}

// Processor time (user and system) in ms used so far by this process, or by its finished children:
// on a machine shared with other work it varies less than the elapsed time.
inline double CpuMs(int who = RUSAGE_SELF)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// A run's elapsed and processor time in ms; -1 while none was taken.
struct TTimes
{
    double Elapsed = -1;
    double Cpu = -1;

    void KeepBest(const TTimes &other)
    {
        if (Elapsed < 0 || other.Elapsed < Elapsed)
            *this = other;
    }
};

inline double MsSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The elapsed and processor time of one run of work.
inline TTimes Timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    const double cpu = CpuMs();
    timer.start();
    work();
    return {MsSince(timer), CpuMs() - cpu};
}

// One line of a result table: what was measured, two figures in ms (a negative one prints "-"),
// and the target.
inline void Report(const char *what, double first, double second, const QString &target)
{
    auto figure = [](double ms) { return ms < 0 ? QStringLiteral("-") : QString::number(ms, 'f', 2); };
    BenchOut() << qSetFieldWidth(46) << Qt::left << what << qSetFieldWidth(12) << Qt::right << figure(first)
               << figure(second) << qSetFieldWidth(0) << "   " << target << Qt::endl;
}
