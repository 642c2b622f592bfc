#include "ExportWriters.h"

#include "ExportPage.h"

#include <QHash>
#include <QIODevice>
#include <vector>

TExportOutput::~TExportOutput() = default;

TExportOutput &TExportOutput::operator<<(qint64 number)
{
    char digits[24];
    const int length = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(number));
    return *this << QByteArrayView(digits, length);
}

void TExportOutput::Flush()
{
    qsizetype written = 0;
    while (written < FBuffer.size()) {
        const qint64 step = FDevice.write(FBuffer.constData() + written, FBuffer.size() - written);
        if (step <= 0)
            throw EExportError(
                QStringLiteral("The export could not be written: %1").arg(FDevice.errorString()));
        written += qsizetype(step);
    }
    FBuffer.clear();
}

void AppendJsonText(QByteArray &to, QByteArrayView text, bool forPage)
{
    static const char hex[] = "0123456789abcdef";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"':
            to.append("\\\"");
            continue;
        case '\\':
            to.append("\\\\");
            continue;
        case '\n':
            to.append("\\n");
            continue;
        case '\r':
            to.append("\\r");
            continue;
        case '\t':
            to.append("\\t");
            continue;
        default:
            break;
        }
        const bool pageSpecial = forPage && (c == '<' || c == '>' || c == '&');
        if (c < 0x20 || c == 0x7f || pageSpecial) {
            to.append("\\u00");
            to.append(hex[c >> 4]);
            to.append(hex[c & 15]);
            continue;
        }
        // U+2028 and U+2029 are E2 80 A8 and E2 80 A9 in UTF-8.
        if (forPage && c == 0xe2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) == 0xa8 ||
             static_cast<unsigned char>(text[i + 2]) == 0xa9)) {
            to.append(static_cast<unsigned char>(text[i + 2]) == 0xa8 ? "\\u2028" : "\\u2029");
            i += 2;
            continue;
        }
        to.append(char(c));
    }
}

void AppendCsvField(QByteArray &to, QByteArrayView text)
{
    bool quoted = false;
    for (char c : text)
        if (c == ',' || c == '"' || c == '\n' || c == '\r') {
            quoted = true;
            break;
        }
    if (!quoted) {
        to.append(text);
        return;
    }
    to.append('"');
    for (char c : text) {
        if (c == '"')
            to.append('"');
        to.append(c);
    }
    to.append('"');
}

namespace {

class TCsvWriter final : public TExportWriter
{
public:
    using TExportWriter::TExportWriter;

    void Begin() override
    {
        Out << QByteArrayView("Volume,Path,Name,Folder,Size,Modified,Type,Description\r\n");
    }
    void BeginVolume(const TExportVolume &volume) override
    {
        FVolume.clear();
        AppendCsvField(FVolume, volume.Root.Name);
        Row(volume.Root);
    }
    void Entry(const TExportEntry &entry) override { Row(entry); }
    void EndFolder() override {}
    void EndVolume() override {}
    void End() override { Out.Flush(); }

private:
    void Row(const TExportEntry &entry)
    {
        FLine.clear();
        FLine.append(FVolume);
        FLine.append(',');
        AppendCsvField(FLine, entry.FullPath);
        FLine.append(',');
        AppendCsvField(FLine, entry.Name);
        FLine.append(entry.Folder ? ",1," : ",0,");
        if (entry.HasSize)
            FLine.append(QByteArray::number(entry.Size));
        FLine.append(',');
        AppendCsvField(FLine, entry.Modified);
        FLine.append(',');
        AppendCsvField(FLine, entry.Type);
        FLine.append(',');
        AppendCsvField(FLine, entry.Description);
        FLine.append("\r\n");
        Out << QByteArrayView(FLine);
    }

    QByteArray FVolume;
    QByteArray FLine;
};

class TJsonWriter final : public TExportWriter
{
public:
    using TExportWriter::TExportWriter;

    void Begin() override
    {
        Out << QByteArrayView("{\"volumes\":[");
        FFirst.push_back(true);
    }
    void BeginVolume(const TExportVolume &volume) override
    {
        Separate();
        Out << QByteArrayView("{\"id\":") << volume.ID;
        Text("label", volume.Label);
        Text("serial", volume.Serial);
        Fields(volume.Root);
        Out << QByteArrayView(",\"children\":[");
        FFirst.push_back(true);
    }
    void Entry(const TExportEntry &entry) override
    {
        Separate();
        Out << '{';
        FText.clear();
        FText.append("\"name\":\"");
        AppendJsonText(FText, entry.Name);
        FText.append('"');
        Out << QByteArrayView(FText);
        Out << QByteArrayView(entry.Folder ? ",\"folder\":true" : ",\"folder\":false");
        Fields(entry, false);
        if (entry.Folder) {
            Out << QByteArrayView(",\"children\":[");
            FFirst.push_back(true);
        } else {
            Out << '}';
        }
    }
    void EndFolder() override
    {
        FFirst.pop_back();
        Out << QByteArrayView("]}");
    }
    void EndVolume() override { EndFolder(); }
    void End() override
    {
        FFirst.pop_back();
        Out << QByteArrayView("\n]}\n");
        Out.Flush();
    }

private:
    // A line per entry keeps the file readable and any line short.
    void Separate()
    {
        if (!FFirst.back())
            Out << ',';
        FFirst.back() = false;
        Out << '\n';
    }
    void Text(const char *name, QByteArrayView text, bool null = false)
    {
        FText.clear();
        FText.append(",\"");
        FText.append(name);
        FText.append("\":");
        if (null) {
            FText.append("null");
        } else {
            FText.append('"');
            AppendJsonText(FText, text);
            FText.append('"');
        }
        Out << QByteArrayView(FText);
    }
    void Fields(const TExportEntry &entry, bool withName = true)
    {
        if (withName)
            Text("name", entry.Name);
        Out << QByteArrayView(",\"size\":");
        if (entry.HasSize)
            Out << entry.Size;
        else
            Out << QByteArrayView("null");
        Text("modified", entry.Modified, entry.Modified.isEmpty());
        Text("type", entry.Type, entry.Type.isEmpty());
        if (entry.HasDescription)
            Text("description", entry.Description);
    }

    std::vector<bool> FFirst;
    QByteArray FText;
};

// The page's data is one compact JSON object: "e" every entry in tree order as [parent's index
// (-1 for a volume's root), name, 1 for a folder, size, modified, type's index in "t", and the
// description when there is one], "v" the volumes as [root's index, label, serial, ID].
class THtmlWriter final : public TExportWriter
{
public:
    using TExportWriter::TExportWriter;

    void Begin() override { Out << QByteArrayView(ExportPageHead) << QByteArrayView("{\"e\":["); }
    void BeginVolume(const TExportVolume &volume) override
    {
        FVolumes.append(FVolumes.isEmpty() ? "[" : ",[");
        FVolumes.append(QByteArray::number(FCount));
        FVolumes.append(",\"");
        AppendJsonText(FVolumes, volume.Label, true);
        FVolumes.append("\",\"");
        AppendJsonText(FVolumes, volume.Serial, true);
        FVolumes.append("\",");
        FVolumes.append(QByteArray::number(volume.ID));
        FVolumes.append(']');
        Entry(volume.Root);
    }
    void Entry(const TExportEntry &entry) override
    {
        FText.clear();
        if (FCount > 0)
            FText.append(',');
        FText.append('[');
        FText.append(QByteArray::number(FParents.empty() ? -1 : FParents.back()));
        FText.append(",\"");
        AppendJsonText(FText, entry.Name, true);
        FText.append(entry.Folder ? "\",1," : "\",0,");
        FText.append(entry.HasSize ? QByteArray::number(entry.Size) : QByteArray("null"));
        FText.append(",\"");
        AppendJsonText(FText, entry.Modified, true);
        FText.append("\",");
        FText.append(QByteArray::number(TypeIndex(entry.Type)));
        if (entry.HasDescription && !entry.Description.isEmpty()) {
            FText.append(",\"");
            AppendJsonText(FText, entry.Description, true);
            FText.append('"');
        }
        FText.append(']');
        // Lines of their own now and then keep an editor that opens the page from choking.
        if (FCount % 64 == 63)
            FText.append('\n');
        Out << QByteArrayView(FText);
        if (entry.Folder)
            FParents.push_back(FCount);
        ++FCount;
    }
    void EndFolder() override { FParents.pop_back(); }
    void EndVolume() override { FParents.pop_back(); }
    void End() override
    {
        Out << QByteArrayView("],\"v\":[") << QByteArrayView(FVolumes) << QByteArrayView("],\"t\":[");
        QByteArray types;
        for (qsizetype i = 0; i < FTypes.size(); ++i) {
            types.append(i == 0 ? "\"" : ",\"");
            AppendJsonText(types, FTypes[i], true);
            types.append('"');
        }
        Out << QByteArrayView(types) << QByteArrayView("]}") << QByteArrayView(ExportPageTail);
        Out.Flush();
    }

private:
    qint64 TypeIndex(QByteArrayView type)
    {
        const QByteArray key = type.toByteArray();
        auto found = FTypeIndexes.constFind(key);
        if (found != FTypeIndexes.constEnd())
            return *found;
        FTypes.append(key);
        FTypeIndexes.insert(key, FTypes.size() - 1);
        return FTypes.size() - 1;
    }

    qint64 FCount = 0;
    std::vector<qint64> FParents;
    QByteArray FVolumes;
    QByteArray FText;
    QList<QByteArray> FTypes;
    QHash<QByteArray, qint64> FTypeIndexes;
};

} // namespace

std::unique_ptr<TExportWriter> NewExportWriter(TExportFormat format, QIODevice &device)
{
    switch (format) {
    case TExportFormat::Csv:
        return std::make_unique<TCsvWriter>(device);
    case TExportFormat::Json:
        return std::make_unique<TJsonWriter>(device);
    case TExportFormat::Html:
        break;
    }
    return std::make_unique<THtmlWriter>(device);
}
