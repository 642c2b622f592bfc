#include "MountTable.h"

#include <QFile>

namespace {

bool ToNumber(QByteArrayView text, quint32 &number)
{
    bool ok = false;
    number = text.toUInt(&ok);
    return ok;
}

bool IsOctal(char c)
{
    return c >= '0' && c <= '7';
}

bool HoldsPath(QByteArrayView mountPoint, QByteArrayView path)
{
    if (mountPoint == "/")
        return path.startsWith('/');
    return path.startsWith(mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

} // namespace

QByteArray TMountTable::Unescape(QByteArrayView field)
{
    QByteArray result;
    result.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value < 256) {
                result.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        result.append(field[i]);
    }
    return result;
}

std::optional<TMountEntry> TMountTable::ParseLine(QByteArrayView line)
{
    QList<QByteArrayView> fields;
    for (qsizetype start = 0; start <= line.size();) {
        qsizetype end = line.indexOf(' ', start);
        if (end < 0)
            end = line.size();
        if (end > start)
            fields.append(line.sliced(start, end - start));
        start = end + 1;
    }
    // The optional fields end at a lone "-"; the file system type must follow it.
    qsizetype separator = -1;
    for (qsizetype i = 6; i < fields.size(); ++i) {
        if (fields[i] == "-") {
            separator = i;
            break;
        }
    }
    if (separator < 0 || separator + 1 >= fields.size())
        return std::nullopt;

    TMountEntry entry;
    quint32 id = 0;
    quint32 parent = 0;
    const QByteArrayView device = fields[2];
    const qsizetype colon = device.indexOf(':');
    if (!ToNumber(fields[0], id) || !ToNumber(fields[1], parent) || colon < 0 ||
        !ToNumber(device.first(colon), entry.Major) || !ToNumber(device.sliced(colon + 1), entry.Minor))
        return std::nullopt;
    entry.MountId = int(id);
    entry.ParentId = int(parent);
    entry.Root = Unescape(fields[3]);
    entry.MountPoint = Unescape(fields[4]);
    entry.MountOptions = fields[5].toByteArray();
    for (qsizetype i = 6; i < separator; ++i)
        entry.OptionalFields.append(fields[i].toByteArray());
    entry.FileSystem = QString::fromUtf8(Unescape(fields[separator + 1]));
    if (separator + 2 < fields.size())
        entry.Source = Unescape(fields[separator + 2]);
    if (separator + 3 < fields.size())
        entry.SuperOptions = fields[separator + 3].toByteArray();
    return entry;
}

TMountTable TMountTable::FromText(QByteArrayView text)
{
    TMountTable table;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        if (auto entry = ParseLine(text.sliced(start, end - start)))
            table.FEntries.append(std::move(*entry));
        start = end + 1;
    }
    return table;
}

TMountTable TMountTable::Read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return FromText(file.readAll());
}

const TMountEntry *TMountTable::MountOf(QByteArrayView path) const
{
    const TMountEntry *best = nullptr;
    for (const TMountEntry &entry : FEntries) {
        if (HoldsPath(entry.MountPoint, path) &&
            (!best || entry.MountPoint.size() >= best->MountPoint.size()))
            best = &entry;
    }
    return best;
}
