// Archives of any content are walked to their end or their damage, within the limits, and every
// entry they give has a path that ArchivePathParts either splits into names or refuses.

#include "ArchiveReaders.h"

#include <cstdlib>

namespace {

class TChecker final : public TArchiveVisitor
{
public:
    void Entry(const TArchiveEntry &entry, int depth, bool) override
    {
        if (depth < 1 || depth > Depth || entry.Size < 0)
            std::abort();
        if (const std::optional<QStringList> parts = ArchivePathParts(entry.Path))
            for (const QString &part : *parts)
                if (part.isEmpty() || part == u"." || part == u".." || part.contains(u'/'))
                    std::abort();
        ++Entries;
    }
    int Depth = 0;
    qint64 Entries = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TArchiveLimits limits;
    limits.MaxEntries = 10000;
    limits.MaxHeaderBytes = 1 << 20;
    TArchiveReader reader(limits);
    if (!reader.OpenMemory(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))))
        return 0;
    TChecker checker;
    checker.Depth = limits.MaxDepth;
    reader.Walk(checker);
    if (checker.Entries > limits.MaxEntries)
        std::abort();
    return 0;
}
