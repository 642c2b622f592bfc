#pragma once

#include "Exports.h"

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

class QIODevice;

// One entry as the export reads it: views of the engine's UTF-8 text, valid until the next row.
struct TExportEntry
{
    QByteArrayView Name;
    QByteArrayView Modified;
    QByteArrayView FullPath;
    QByteArrayView Description;
    QByteArrayView Type;
    qint64 Size = 0;
    bool HasSize = false;
    bool HasDescription = false;
    bool Folder = false;
};

struct TExportVolume
{
    qint64 ID = 0;
    QByteArrayView Label;
    QByteArrayView Serial;
    TExportEntry Root;
};

// The output in blocks: a write of its own per field would cost more than the export itself.
class TExportOutput
{
public:
    explicit TExportOutput(QIODevice &device) : FDevice(device) { FBuffer.reserve(BlockSize + 4096); }
    ~TExportOutput();
    TExportOutput(const TExportOutput &) = delete;
    TExportOutput &operator=(const TExportOutput &) = delete;

    TExportOutput &operator<<(QByteArrayView text)
    {
        FBuffer.append(text);
        if (FBuffer.size() >= BlockSize)
            Flush();
        return *this;
    }
    TExportOutput &operator<<(char c)
    {
        FBuffer.append(c);
        return *this;
    }
    TExportOutput &operator<<(qint64 number);
    // Throws EExportError when the device takes less than it is given.
    void Flush();

private:
    static constexpr qsizetype BlockSize = 64 * 1024;
    QIODevice &FDevice;
    QByteArray FBuffer;
};

// What the walk hands each format: the volumes in turn, and below each of them every entry in
// tree order, a folder's entries between the folder and its EndFolder.
class TExportWriter
{
public:
    explicit TExportWriter(QIODevice &device) : Out(device) {}
    virtual ~TExportWriter() = default;
    TExportWriter(const TExportWriter &) = delete;
    TExportWriter &operator=(const TExportWriter &) = delete;

    virtual void Begin() = 0;
    virtual void BeginVolume(const TExportVolume &volume) = 0;
    virtual void Entry(const TExportEntry &entry) = 0;
    virtual void EndFolder() = 0;
    virtual void EndVolume() = 0;
    // Writes what is left and flushes it.
    virtual void End() = 0;

protected:
    TExportOutput Out;
};

std::unique_ptr<TExportWriter> NewExportWriter(TExportFormat format, QIODevice &device);

// text as the inside of a JSON string: quotes, backslashes and control characters escaped. For a
// page, also "<", ">", "&" and the two line separators that old script engines took for line
// ends, so that no text can close the script element it is in.
void AppendJsonText(QByteArray &to, QByteArrayView text, bool forPage = false);
// text as one CSV field: quoted, with its quotes doubled, when it holds a comma, a quote or a line
// break.
void AppendCsvField(QByteArray &to, QByteArrayView text);
