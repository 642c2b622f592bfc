// Name patterns of the find window and the command line, matched by the catalogue's own search
// against one catalogued name: the result must be what * and ? mean, letter case of ASCII letters
// aside, whatever else the name and the pattern hold (the engine's own wildcards and its escape
// character included).

#include "CatalogSchema.h"
#include "FindCriteria.h"
#include "MessageBoxes.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace {

QCoreApplication *App = nullptr;
QTemporaryDir *Config = nullptr;
QTemporaryDir *Data = nullptr;
TGlobal *Global = nullptr;

char32_t Folded(char32_t c)
{
    return c >= U'A' && c <= U'Z' ? c + (U'a' - U'A') : c;
}

// Backtracking over the last *: linear enough for the lengths the fuzzer makes.
bool Matches(const QList<uint> &name, const QList<uint> &pattern)
{
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || Folded(pattern[p]) == Folded(name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

bool SameIgnoringAsciiCase(const QList<uint> &a, const QList<uint> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i]))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    App = new QCoreApplication(*argc, *argv);
    Config = new QTemporaryDir;
    Data = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Config->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(Data->path()));
    TMessageBox::SetAnswerAutomatically(true);
    CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));
    Global = new TGlobal;
    Global->Database.ExecSQL(
        QStringLiteral("INSERT INTO Entries (ID, Parent, Name, Folder, Size, Modified, ImageID, CD) VALUES "
                       "(1, NULL, 'Disc', 1, 0, '2024-01-01 00:00:00.000', 2, 1), "
                       "(2, 1, 'x', 0, 0, '2024-01-01 00:00:00.000', 3, 1);"
                       "INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (1, '1111-1111', 'Disc');"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A flag byte, then the name, a NUL and the pattern. Neither a file name nor a typed pattern
    // holds a NUL.
    if (size < 1)
        return 0;
    const QByteArray rest =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const qsizetype split = rest.indexOf('\0');
    if (split < 0)
        return 0;
    const QString name = QString::fromUtf8(rest.left(split));
    QByteArray patternBytes = rest.mid(split + 1);
    patternBytes.replace('\0', QByteArray());
    const QString pattern = QString::fromUtf8(patternBytes);
    const bool wholeMatch = data[0] & 1;

    Global->Database.ExecSQL(QStringLiteral("UPDATE Entries SET Name = ? WHERE ID = 2"), {TVariant(name)});
    ApplyFindCriteria(*Global, TFindCriteria{.Name = pattern, .WholeMatch = wholeMatch});
    const qint64 found = FindResultCount(*Global);

    bool expected = true;
    if (pattern != u"*") {
        const QList<uint> nameChars = name.toUcs4();
        const QList<uint> patternChars = pattern.trimmed().toUcs4();
        expected =
            wholeMatch ? SameIgnoringAsciiCase(nameChars, patternChars) : Matches(nameChars, patternChars);
    }
    if (found != (expected ? 1 : 0)) {
        fprintf(stderr, "name \"%s\", pattern \"%s\", whole %d: found %lld\n", name.toUtf8().constData(),
                pattern.toUtf8().constData(), int(wholeMatch), static_cast<long long>(found));
        std::abort();
    }
    return 0;
}
