#pragma once

// A private PostgreSQL server for a benchmark, started as the test suites start theirs (a
// temporary cluster reached through a Unix socket only) but with a user's durable settings, and
// stopped when the benchmark ends.

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <stdexcept>

class TBenchServer
{
public:
    TBenchServer()
    {
        QProcess start;
        start.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VNX_PG_DURABLE"), QStringLiteral("1"));
        start.setProcessEnvironment(environment);
        start.start(Script(), {QStringLiteral("start"), Pointer()});
        if (!start.waitForFinished(120000) || start.exitCode() != 0)
            throw std::runtime_error("the PostgreSQL server did not start");
        QFile pointer(Pointer());
        if (pointer.open(QIODevice::ReadOnly))
            FFolder = QString::fromUtf8(pointer.readLine()).trimmed();
    }
    ~TBenchServer() { QProcess::execute(Script(), {QStringLiteral("stop"), Pointer()}); }
    TBenchServer(const TBenchServer &) = delete;
    TBenchServer &operator=(const TBenchServer &) = delete;

    // A libpq URI of a database of this server; made by the first connection that asks for it.
    QString Uri(const QString &database) const
    {
        return QStringLiteral("postgresql:///%1?host=%2&user=vnx").arg(database, FFolder);
    }

private:
    static QString Script() { return QStringLiteral(VNX_SOURCE_DIR "/tests/support/pg-test-server"); }
    QString Pointer() const { return FPointerDir.filePath(QStringLiteral("server")); }

    QTemporaryDir FPointerDir;
    QString FFolder;
};
