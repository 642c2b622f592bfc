// Info files of any content become text: valid UTF-8 as it stands (without its byte order mark),
// anything else one character per byte, ASCII kept, so no byte of a description is lost or made up.

#include "InfoFiles.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

QTemporaryDir *Dir = nullptr;
TInfoFileReader *Reader = nullptr;

void Write(const QByteArray &path, const QByteArray &bytes)
{
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0 || ::write(file, bytes.constData(), size_t(bytes.size())) != bytes.size())
        std::abort();
    ::close(file);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Dir = new QTemporaryDir;
    // One reader for every input: it keeps the last file open and must read it afresh each time.
    Reader = new TInfoFileReader;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte picks the kind of file, which picks the code page.
    if (size < 1)
        return 0;
    static const char *const names[] = {"file_id.diz", "README.NFO", "descript.ion", "readme.txt"};
    const QByteArray path = QFile::encodeName(Dir->filePath(QString::fromLatin1(names[data[0] % 4])));
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    Write(path, bytes);

    const std::optional<QString> text = Reader->Read(path);
    if (!text)
        std::abort();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8.decode(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    if (!utf8.hasError()) {
        if (*text != asUtf8)
            std::abort();
        return 0;
    }
    if (text->size() != bytes.size())
        std::abort();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (uchar(bytes[i]) < 0x80 && text->at(i) != QLatin1Char(bytes[i]))
            std::abort();
    return 0;
}
