#pragma once

// What the fault suites of the command-line tool share: vor-nex-cli run as a child process in
// configuration and data folders of its own, folder trees made on disk by their byte names, and a
// look at the catalogue file through the engine's C API, beside the program's own connection.

#include "ByteTrees.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

struct TCliRun
{
    QProcess::ExitStatus Status = QProcess::NormalExit;
    int ExitCode = -1;
    bool Finished = false;
    QString Out;
    QString Err;
};

class TCliFixture
{
public:
    TCliFixture() = default;
    TCliFixture(const TCliFixture &) = delete;
    TCliFixture &operator=(const TCliFixture &) = delete;

    QString Path(const QString &relative) const { return FDir.filePath(relative); }

    // Ready to start: the environment points the tool at this fixture's folders, and stdin is no
    // terminal, as in a script.
    void Prepare(QProcess &process) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), Path(QStringLiteral("data")));
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setProgram(QStringLiteral(VNX_CLI_PATH));
    }

    // Runs the tool to its end; a child that is still running after the time given is killed and
    // reported as not finished, so that a blocked walk fails the test instead of hanging it.
    TCliRun Run(const QStringList &args, int msecs = 60000) const
    {
        QProcess process;
        Prepare(process);
        process.setArguments(args);
        process.start();
        return Finish(process, msecs);
    }

    // The end of a child that was started.
    static TCliRun Finish(QProcess &process, int msecs = 60000)
    {
        TCliRun run;
        // Waiting for a child that has already ended reports false.
        run.Finished = process.state() == QProcess::NotRunning || process.waitForFinished(msecs);
        if (!run.Finished) {
            process.kill();
            process.waitForFinished();
        }
        run.Status = process.exitStatus();
        run.ExitCode = process.exitCode();
        run.Out = QString::fromUtf8(process.readAllStandardOutput());
        run.Err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private:
    QTemporaryDir FDir;
};

// A connection of the engine's own to a catalogue file, opened for writing so that a log left by
// a killed writer is recovered as any next user of the file would recover it.
class TRawCatalogue
{
public:
    explicit TRawCatalogue(const QString &file)
    {
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &FHandle, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK)
            FError = QString::fromUtf8(sqlite3_errmsg(FHandle));
        sqlite3_busy_timeout(FHandle, 10000);
    }
    ~TRawCatalogue() { sqlite3_close_v2(FHandle); }
    TRawCatalogue(const TRawCatalogue &) = delete;
    TRawCatalogue &operator=(const TRawCatalogue &) = delete;

    // Each row as its values joined by "|", NULL as "NULL"; an engine error as one row "error: …".
    QStringList Rows(const QString &sql, qint64 parameter = 0) const
    {
        if (!FError.isEmpty())
            return {QStringLiteral("error: ") + FError};
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(FHandle, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
            return {QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(FHandle))};
        if (sqlite3_bind_parameter_count(statement) > 0)
            sqlite3_bind_int64(statement, 1, parameter);
        QStringList rows;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            QStringList values;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, i));
                values << (text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
            }
            rows << values.join(u'|');
        }
        if (rc != SQLITE_DONE)
            rows << QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(FHandle));
        sqlite3_finalize(statement);
        return rows;
    }

    // Empty when the file is sound: the engine's own check and the foreign keys both hold.
    QString Damage() const
    {
        const QStringList integrity = Rows(QStringLiteral("PRAGMA integrity_check"));
        if (integrity != QStringList{QStringLiteral("ok")})
            return integrity.join(u'\n');
        const QStringList keys = Rows(QStringLiteral("PRAGMA foreign_key_check"));
        return keys.isEmpty() ? QString() : QStringLiteral("foreign keys: ") + keys.join(u'\n');
    }

    // Every Entries and CDs row of the volume with that root ID, at any depth.
    QStringList Volume(qint64 root) const
    {
        return Rows(QStringLiteral(
                        "SELECT * FROM Entries WHERE ID = ?1 OR CD = ?1 OR Parent = ?1 ORDER BY ID"),
                    root) +
               Rows(QStringLiteral("SELECT * FROM CDs WHERE ID = ?1"), root);
    }

private:
    sqlite3 *FHandle = nullptr;
    QString FError;
};
