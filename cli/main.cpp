// vor-nex-cli: the catalogue from a terminal or a script, over the same data module as the
// program's windows. Needs no display.

#include "CatalogCopies.h"
#include "CatalogSchema.h"
#include "CataloguedSources.h"
#include "DiscImageSources.h"
#include "Exports.h"
#include "FindCriteria.h"
#include "FolderMatches.h"
#include "MountedSources.h"
#include "Queries.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTextStream>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// "1234-abcd" as a serial number; nullopt when the text is not eight hexadecimal digits with a
// hyphen in the middle.
std::optional<quint32> parseSerial(const QString &text)
{
    if (text.size() != 9 || text[4] != u'-')
        return std::nullopt;
    bool okHigh = false;
    bool okLow = false;
    const uint high = text.left(4).toUInt(&okHigh, 16);
    const uint low = text.mid(5).toUInt(&okLow, 16);
    for (QChar c : text)
        if (c != u'-' && !isxdigit(c.toLatin1()))
            return std::nullopt;
    if (!okHigh || !okLow)
        return std::nullopt;
    return quint32(high << 16 | low);
}

enum TExitCode { ecDone = 0, ecNothing = 1, ecUsage = 2, ecError = 3 };

const char *const Usage =
    "usage:\n"
    "  vor-nex-cli [--catalog FILE] scan PATH [--name NAME] [--picture ID] [--force]\n"
    "              [--label LABEL] [--serial XXXX-XXXX] [--no-descriptions] [--suspicious all|skip]\n"
    "              [--archives]\n"
    "  vor-nex-cli [--catalog FILE] update PATH|--volume ID [--name NAME] [--label LABEL]\n"
    "              [--serial XXXX-XXXX] [--no-descriptions] [--suspicious all|skip] [--archives]\n"
    "  vor-nex-cli [--catalog FILE] volumes\n"
    "  vor-nex-cli [--catalog FILE] delete ID\n"
    "  vor-nex-cli [--catalog FILE] find PATTERN [--whole] [--volume ID] [--type ID]\n"
    "              [--from YYYY-MM-DD --to YYYY-MM-DD] [--size =|<|> KB] [--text WORDS]\n"
    "  vor-nex-cli [--catalog FILE] find --text WORDS [...]\n"
    "  vor-nex-cli [--catalog FILE] matches FOLDER [--path] [--size] [--time] [--root DIR]\n"
    "  vor-nex-cli [--catalog FILE] export [--volume ID] [--format csv|json|html] [FILE]\n"
    "  vor-nex-cli --server URI init\n"
    "  vor-nex-cli copy --from FILE|URI --to FILE|URI\n"
    "\n"
    "scan     catalogues the volume mounted at PATH (its label and serial come from its file\n"
    "         system), or a folder that is no mount point as a volume of its own (label: the\n"
    "         folder's name, serial: derived from where the folder lies), or a disc image file\n"
    "         (ISO 9660 or UDF, read without mounting it), then reads the descriptions of its\n"
    "         info files.\n"
    "           --name NAME         the name of the volume in the catalogue (default: its label)\n"
    "           --picture ID        the volume's picture, a file type number (default 2, a disc)\n"
    "           --force             replace a volume already catalogued without asking\n"
    "           --label LABEL       use this label instead of the volume's\n"
    "           --serial XXXX-XXXX  use this serial number instead of the volume's\n"
    "           --no-descriptions   do not read info files\n"
    "           --suspicious all    take every info file whose name does not match its file's\n"
    "           --suspicious skip   skip them (the default without a terminal; with one, you are asked)\n"
    "           --archives          also catalogue the folders and files inside archives (zip, 7z,\n"
    "                               rar, tar, ...; archives inside them to three levels)\n"
    "         A volume already in the catalogue is replaced only when you confirm it on the\n"
    "         terminal, or with --force. Ctrl+C stops the scan; what was read so far of a new\n"
    "         volume is kept, and a volume being replaced stays as it was.\n"
    "update   brings the catalogued volume with the serial of the volume at PATH (the mount\n"
    "         point, folder or disc image it was scanned from) up to date: entries that did not\n"
    "         change keep their descriptions, changed ones are rewritten, new ones added and\n"
    "         those gone removed; new or changed info files are read again. Prints each change,\n"
    "         one a line (+ added, - removed, ~ changed), and the counts on stderr. The update\n"
    "         is written whole or not at all: stopped (Ctrl+C) or failed, the catalogue keeps\n"
    "         the volume as it was. --name renames the volume; the other options are scan's.\n"
    "           --volume ID         the volume with that ID (as volumes lists them); without\n"
    "                               PATH it is looked for in the mounted drives by its serial,\n"
    "                               then at the folder or disc image it was catalogued from,\n"
    "                               which is taken only while its serial is the same\n"
    "volumes  lists the catalogued volumes: ID, serial, label, name and size, separated by tabs.\n"
    "delete   removes the volume with that ID from the catalogue.\n"
    "find     lists the catalogued files and folders whose name matches PATTERN (* any text,\n"
    "         ? one character, letter case aside; \"*\" alone: every name), one a line: ID,\n"
    "         name, folder (label:\\path), size, type and time of modification, separated by tabs.\n"
    "           --whole             PATTERN is a whole name, without wildcards\n"
    "           --volume ID         only on that volume (an ID as volumes lists them)\n"
    "           --type ID           only of that file type; a volume picture lists volumes too\n"
    "           --from, --to        modified on one of these days, both included\n"
    "           --size = KB         exactly that many KB (1,024 bytes); < smaller, > larger\n"
    "           --text WORDS        only those whose description holds all the WORDS (letter\n"
    "                               case and accents aside; the last may be a word's start);\n"
    "                               without PATTERN, any name\n"
    "matches  compares the files and folders in FOLDER, all levels down, with the catalogue by\n"
    "         name (letter case aside) and lists each pair, one a line: the path on the disk,\n"
    "         then the catalogued entry's ID, label:\\path, size and time, separated by tabs.\n"
    "           --path              also by the folder they lie in, below the volume's root\n"
    "           --size, --time      also by size, by time of modification\n"
    "           --root DIR          the volume's root is DIR (default: where FOLDER's file\n"
    "                               system is mounted); give the PATH a scan was given\n"
    "         Ctrl+C stops the comparison.\n"
    "export   writes the catalogue, or one volume of it, to FILE (standard output without FILE):\n"
    "         every volume, folder and file in tree order with its size, time, type and\n"
    "         description.\n"
    "           --volume ID         only that volume (an ID as volumes lists them)\n"
    "           --format csv        a table (the default, unless FILE ends in .json or .html)\n"
    "           --format json       one object per volume with its tree\n"
    "           --format html       a page with a tree and a search box that needs no network\n"
    "         A FILE is written whole or not at all. Ctrl+C stops the export.\n"
    "init     makes a catalogue that several users share in a PostgreSQL database, given by\n"
    "         --server URI as libpq takes it (postgresql://[user@]host[:port]/database, or\n"
    "         postgresql:///database?host=/socket/folder&user=name), and points the usual\n"
    "         catalogue at it. A database holding a catalogue already is left as it is; one\n"
    "         holding anything else is refused. The password is not written anywhere: libpq\n"
    "         reads it from ~/.pgpass.\n"
    "copy     copies a whole catalogue, with its IDs, descriptions, file types and pictures,\n"
    "         into a new or empty one: a catalogue FILE, or a database on a PostgreSQL server\n"
    "         named by a URI (postgresql://user@host:port/database, or\n"
    "         postgresql:///database?host=/socket/folder; the password comes from ~/.pgpass).\n"
    "           --from FILE|URI     the catalogue copied\n"
    "           --to FILE|URI       where it goes; made when missing\n"
    "         The copy is written whole or not at all. Ctrl+C stops it.\n"
    "--catalog FILE  uses (and creates, when missing) that catalogue instead of the usual one.\n"
    "--server URI    the PostgreSQL database that init makes the shared catalogue in.\n"
    "\n"
    "exit status: 0 done, 1 nothing was catalogued, deleted or found (declined, stopped,\n"
    "unreadable), 2 wrong usage, 3 any other error.\n";

std::atomic<bool> stopRequested{false};

void onInterrupt(int)
{
    stopRequested = true;
    // A second Ctrl+C ends the program at once; the catalogue stays consistent either way.
    std::signal(SIGINT, SIG_DFL);
}

// Results go out a line at a time to a terminal, where somebody waits for the first of them, and
// in blocks to a pipe or a file, where only the whole counts.
class TResultLines
{
public:
    TResultLines() : FStream(stdout), FEachLine(::isatty(STDOUT_FILENO)) {}
    QTextStream &Stream() { return FStream; }
    void EndLine()
    {
        FStream << '\n';
        if (FEachLine)
            FStream.flush();
    }

private:
    QTextStream FStream;
    bool FEachLine;
};

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool interactive()
{
    return ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO);
}

QString ask(const QString &question)
{
    err() << question << Qt::flush;
    QTextStream in(stdin);
    return in.readLine().trimmed().toLower();
}

// A one-line progress bar on a terminal, redrawn in place; nothing when stderr is no terminal.
class TProgressBar
{
public:
    TProgressBar() : FShown(::isatty(STDERR_FILENO)) {}
    ~TProgressBar() { Finish(); }

    void Show(int percent, const QString &text)
    {
        if (!FShown)
            return;
        constexpr int width = 30;
        const int filled = std::clamp(percent, 0, 100) * width / 100;
        err() << '\r' << '[' << QString(filled, u'#') << QString(width - filled, u'.') << "] "
              << QString::number(percent).rightJustified(3) << "%  " << text.leftJustified(32) << Qt::flush;
        FDrawn = true;
    }
    void Finish()
    {
        if (FDrawn)
            err() << '\n' << Qt::flush;
        FDrawn = false;
    }

private:
    bool FShown;
    bool FDrawn = false;
};

struct TOptions
{
    QString Catalog;
    QString Server;
    QString Name;
    int Picture = 2;
    bool Force = false;
    std::optional<QString> Label;
    std::optional<quint32> Serial;
    bool Descriptions = true;
    QString Suspicious; // "all", "skip" or empty (ask when possible)
    bool Archives = false;
    // find
    bool Whole = false;
    std::optional<int> Volume;
    std::optional<int> Type;
    std::optional<QDate> From;
    std::optional<QDate> To;
    TSizeRelation SizeRelation = TSizeRelation::None;
    QString SizeKB = QStringLiteral("0");
    std::optional<QString> Text;
    // matches
    bool ByPath = false;
    bool BySize = false;
    bool ByTime = false;
    QString Root;
    // export
    std::optional<TExportFormat> Format;
    QStringList Arguments;
};

class EUsage : public Exception
{
public:
    using Exception::Exception;
};

TOptions parse(const QStringList &args)
{
    TOptions options;
    auto value = [&args](qsizetype &i) {
        if (i + 1 >= args.size())
            throw EUsage(QStringLiteral("%1 needs a value").arg(args[i]));
        return args[++i];
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == u"--catalog") {
            options.Catalog = value(i);
        } else if (arg == u"--server") {
            options.Server = value(i);
        } else if (arg == u"--name") {
            options.Name = value(i);
        } else if (arg == u"--picture") {
            bool ok = false;
            options.Picture = value(i).toInt(&ok);
            if (!ok || options.Picture < 0 || options.Picture > 32767)
                throw EUsage(QStringLiteral("--picture needs a file type number"));
        } else if (arg == u"--force") {
            options.Force = true;
        } else if (arg == u"--label") {
            options.Label = value(i);
        } else if (arg == u"--serial") {
            options.Serial = parseSerial(value(i));
            if (!options.Serial)
                throw EUsage(QStringLiteral("--serial needs eight hexadecimal digits, as 1a2b-3c4d"));
        } else if (arg == u"--archives") {
            options.Archives = true;
        } else if (arg == u"--no-descriptions") {
            options.Descriptions = false;
        } else if (arg == u"--suspicious") {
            options.Suspicious = value(i);
            if (options.Suspicious != u"all" && options.Suspicious != u"skip")
                throw EUsage(QStringLiteral("--suspicious takes all or skip"));
        } else if (arg == u"--text") {
            options.Text = value(i);
        } else if (arg == u"--whole") {
            options.Whole = true;
        } else if (arg == u"--volume" || arg == u"--type") {
            bool ok = false;
            const int id = value(i).toInt(&ok);
            if (!ok)
                throw EUsage(QStringLiteral("%1 needs an ID, a number").arg(arg));
            (arg == u"--volume" ? options.Volume : options.Type) = id;
        } else if (arg == u"--from" || arg == u"--to") {
            const QDate date = QDate::fromString(value(i), Qt::ISODate);
            if (!date.isValid())
                throw EUsage(QStringLiteral("%1 needs a date as YYYY-MM-DD").arg(arg));
            (arg == u"--from" ? options.From : options.To) = date;
        } else if (arg == u"--size" && i + 1 < args.size() && !args[i + 1].isEmpty() &&
                   QStringView(u"=<>").contains(args[i + 1][0])) {
            // find's relation and number, as "> 100" or ">100"; matches' --size is a switch.
            QString relation = value(i);
            QString kb = relation.mid(1);
            if (kb.isEmpty())
                kb = value(i);
            relation.truncate(1);
            bool ok = false;
            kb.trimmed().toLongLong(&ok);
            if (!ok)
                throw EUsage(QStringLiteral("--size needs =, < or > and a whole number of KB"));
            options.SizeRelation = relation == u"="   ? TSizeRelation::Equal
                                   : relation == u"<" ? TSizeRelation::AtMost
                                                      : TSizeRelation::AtLeast;
            options.SizeKB = kb;
        } else if (arg == u"--size") {
            options.BySize = true;
        } else if (arg == u"--path") {
            options.ByPath = true;
        } else if (arg == u"--time") {
            options.ByTime = true;
        } else if (arg == u"--root") {
            options.Root = value(i);
        } else if (arg == u"--format") {
            options.Format = ExportFormatFromName(value(i));
            if (!options.Format)
                throw EUsage(QStringLiteral("--format takes csv, json or html"));
        } else if (arg.startsWith(u"--")) {
            throw EUsage(QStringLiteral("unknown option %1").arg(arg));
        } else {
            options.Arguments << arg;
        }
    }
    return options;
}

bool isNumber(const QString &text)
{
    bool ok = false;
    text.toInt(&ok);
    return ok;
}

std::unique_ptr<TGlobal> openCatalogue(const TOptions &options)
{
    if (options.Catalog.isEmpty()) {
        CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));
        return std::make_unique<TGlobal>();
    }
    const QString path = QFileInfo(options.Catalog).absoluteFilePath();
    if (!QFileInfo::exists(path))
        CatalogSchema::CreateFile(path);
    return std::make_unique<TGlobal>(path);
}

// The questions the data module asks are answered from the options, or on the terminal. A type in
// use is never deleted here, and the scan asks about a known volume before it starts.
void answerQuestions(TGlobal &global, const TOptions &options)
{
    global.OnConfirmReplace = [force = options.Force] { return force; };
    global.OnConfirmSuspicious = [suspicious = options.Suspicious](const QString &infoName,
                                                                   const QString &name) {
        if (suspicious == u"all")
            return TSuspiciousAnswer::ProcessAll;
        if (suspicious == u"skip" || !interactive())
            return TSuspiciousAnswer::Skip;
        const QString answer =
            ask(QStringLiteral(
                    "\nThe info file %1 does not match the name of %2.\nUse it? [y]es / [a]ll / [N]o: ")
                    .arg(infoName, name));
        if (answer.startsWith(u'a'))
            return TSuspiciousAnswer::ProcessAll;
        return answer.startsWith(u'y') ? TSuspiciousAnswer::ProcessThis : TSuspiciousAnswer::Skip;
    };
}

// A volume known by the label and serial given on the command line instead of its own.
class TRenamedSource final : public TVolumeSource
{
public:
    TRenamedSource(TVolumeSource &inner, std::optional<QString> label, std::optional<quint32> serial)
        : FInner(inner), FLabel(std::move(label)), FSerial(serial)
    {}
    QString DisplayName() const override { return FInner.DisplayName(); }
    QString SourcePath() const override { return FInner.SourcePath(); }
    std::optional<TVolumeInfo> VolumeInformation() override
    {
        std::optional<TVolumeInfo> info = FInner.VolumeInformation();
        if (info && FLabel)
            info->Label = *FLabel;
        if (info && FSerial)
            info->Serial = *FSerial;
        return info;
    }
    qint64 Capacity() override { return FInner.Capacity(); }
    std::optional<QList<TDirEntry>> ListFolder(const QString &folder) override
    {
        return FInner.ListFolder(folder);
    }
    bool Enters(const TDirEntry &folder) override { return FInner.Enters(folder); }
    TFileBytes ReadFile(const QString &folder, const QString &name, qint64 maxBytes) override
    {
        return FInner.ReadFile(folder, name, maxBytes);
    }
    int OpenFile(const QString &folder, const TDirEntry &file) override
    {
        return FInner.OpenFile(folder, file);
    }

private:
    TVolumeSource &FInner;
    std::optional<QString> FLabel;
    std::optional<quint32> FSerial;
};

// A walk of a volume (a scan, an update) shows its progress on the terminal, and Ctrl+C stops it.
void showWalkProgress(TGlobal &global, TProgressBar &bar)
{
    global.OnProgress = [&bar](TGlobal *, int percent, int secondsLeft) {
        QString text;
        if (secondsLeft > 0)
            text = secondsLeft <= 120 ? QStringLiteral("Time remaining: %1 sec").arg(secondsLeft)
                                      : QStringLiteral("Time remaining: %1 min").arg(secondsLeft / 60);
        bar.Show(percent, text);
        return stopRequested.load();
    };
    std::signal(SIGINT, onInterrupt);
}

int scan(TGlobal &global, const TOptions &options)
{
    if (options.Arguments.size() != 2)
        throw EUsage(QStringLiteral("scan takes one PATH"));
    const QFileInfo info(options.Arguments[1]);
    std::unique_ptr<TVolumeSource> volume;
    QString root;
    if (info.isDir()) {
        root = info.canonicalFilePath();
        volume = std::make_unique<TMountedSource>(root, TMountedSource::TKind::Folder);
    } else if (info.exists() && !info.isDir()) {
        root = info.absoluteFilePath();
        try {
            volume = TDiscImageSource::Open(root);
        } catch (const EDiscImageError &error) {
            err() << "vor-nex-cli: " << error.Message() << '\n';
            return ecNothing;
        }
    } else {
        err() << "vor-nex-cli: " << options.Arguments[1] << " is not a readable folder or disc image\n";
        return ecNothing;
    }
    TRenamedSource source(*volume, options.Label, options.Serial);

    QString label;
    QString serial;
    if (!global.GetVolumeInfo(source, label, serial)) {
        err() << "vor-nex-cli: cannot read the volume at " << root << '\n';
        return ecNothing;
    }
    global.CDs2.Open();
    bool force = options.Force;
    if (!force && global.CDs2.FindKey({TVariant(serial)})) {
        if (!interactive()) {
            err() << "vor-nex-cli: the volume " << serial
                  << " is already in the catalogue; use --force to replace it\n";
            return ecNothing;
        }
        const QString answer =
            ask(QStringLiteral("The volume %1 is already in the catalogue. Replacing it drops the "
                               "descriptions edited by hand. Replace it? [y/N] ")
                    .arg(serial));
        if (!answer.startsWith(u'y'))
            return ecNothing;
        force = true;
    }

    TProgressBar bar;
    showWalkProgress(global, bar);
    global.ProcessArchives = options.Archives;
    const int rootId = global.LoadDisk(source, options.Name, options.Picture, force);
    const auto tellArchiveNotes = [&global, &bar] {
        bar.Finish();
        for (const QString &note : std::as_const(global.ArchiveNotes))
            err() << "vor-nex-cli: " << note << '\n';
    };
    if (rootId < 0) {
        global.OnProgress = nullptr;
        bar.Finish();
        tellArchiveNotes();
        err() << (!stopRequested ? "vor-nex-cli: nothing was catalogued\n"
                  : force        ? "vor-nex-cli: stopped; the volume is kept as it was\n"
                                 : "vor-nex-cli: stopped; what was read so far is kept\n");
        return ecNothing;
    }
    tellArchiveNotes();
    if (options.Descriptions) {
        global.OnProgress = [&bar](TGlobal *, int percent, int) {
            bar.Show(percent, QStringLiteral("Processing file descriptions"));
            return stopRequested.load();
        };
        const QList<TSkippedInfoFile> skipped = global.LoadDescriptions(rootId, source);
        global.OnProgress = nullptr;
        bar.Finish();
        for (const TSkippedInfoFile &file : skipped)
            err() << "vor-nex-cli: skipped info file " << file.Path << ": " << file.Reason << '\n';
    }
    global.OnProgress = nullptr;
    bar.Finish();
    QTextStream(stdout) << rootId << '\n';
    return ecDone;
}

// The volume at path: a folder (a mount point or not) or a disc image file; nullptr, told on
// stderr, when it is neither.
std::unique_ptr<TVolumeSource> openSource(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return std::make_unique<TMountedSource>(info.canonicalFilePath(), TMountedSource::TKind::Folder);
    if (info.exists()) {
        try {
            return TDiscImageSource::Open(info.absoluteFilePath());
        } catch (const EDiscImageError &error) {
            err() << "vor-nex-cli: " << error.Message() << '\n';
            return nullptr;
        }
    }
    err() << "vor-nex-cli: " << path << " is not a readable folder or disc image\n";
    return nullptr;
}

QString field(const QString &text);

// Without PATH, the volume --volume names is looked for in the drives by its serial number, then
// at the folder or disc image it was catalogued from; nothing else is ever taken for it.
std::unique_ptr<TVolumeSource> cataloguedSource(TGlobal &global, int cd)
{
    const std::optional<TCataloguedVolume> volume = CataloguedVolume(global.Database, cd);
    if (!volume) {
        err() << "vor-nex-cli: no volume has the ID " << cd << ". Nothing was changed.\n";
        return nullptr;
    }
    TFoundSource found = FindCataloguedSource(*volume);
    if (found.Source)
        return std::move(found.Source);
    err() << "vor-nex-cli: the disk of \"" << volume->Name << "\" (serial number " << volume->Serial
          << ") is in no drive";
    if (found.Reason.isEmpty())
        err() << ", and the catalogue does not say where else it was read from.";
    else
        err() << "; " << found.Reason;
    err() << " Give its PATH. Nothing was changed.\n";
    return nullptr;
}

int update(TGlobal &global, const TOptions &options)
{
    const std::unique_ptr<TVolumeSource> volume = options.Arguments.size() > 1
                                                      ? openSource(options.Arguments[1])
                                                      : cataloguedSource(global, *options.Volume);
    if (!volume)
        return ecNothing;
    TRenamedSource source(*volume, options.Label, options.Serial);

    TProgressBar bar;
    showWalkProgress(global, bar);
    global.ProcessArchives = options.Archives;
    TVolumeChanges changes;
    bool done = false;
    try {
        done = global.UpdateDisk(source, options.Volume.value_or(0), options.Name, changes,
                                 options.Descriptions);
    } catch (const EUpdateError &error) {
        global.OnProgress = nullptr;
        bar.Finish();
        err() << "vor-nex-cli: " << error.Message() << " Nothing was changed.\n";
        return ecNothing;
    }
    global.OnProgress = nullptr;
    bar.Finish();
    if (!done) {
        err() << "vor-nex-cli: stopped; the volume is kept as it was\n";
        return ecNothing;
    }
    for (const TSkippedInfoFile &file : changes.Skipped)
        err() << "vor-nex-cli: skipped info file " << file.Path << ": " << file.Reason << '\n';
    for (const QString &note : std::as_const(global.ArchiveNotes))
        err() << "vor-nex-cli: " << note << '\n';
    TResultLines lines;
    for (const TVolumeChange &change : changes.Changes) {
        lines.Stream() << (change.Kind == TChangeKind::Added     ? "+ "
                           : change.Kind == TChangeKind::Removed ? "- "
                                                                 : "~ ")
                       << field(change.Path);
        lines.EndLine();
    }
    lines.Stream().flush();
    err() << changes.Added << " added, " << changes.Removed << " removed, " << changes.Changed << " changed, "
          << changes.Unchanged << " unchanged\n"
          << Qt::flush;
    return ecDone;
}

int initServer(const TOptions &options)
{
    if (options.Arguments.first() != u"init" || options.Server.isEmpty() || options.Arguments.size() != 1 ||
        !options.Catalog.isEmpty())
        throw EUsage(QStringLiteral("init takes --server URI and nothing else"));
    const QString alias = QString::fromUtf16(TGlobal::AliasName);
    const QStringList params = CatalogSchema::ServerAliasParams(options.Server);
    TDatabase database;
    database.SetDriverName(QString::fromUtf16(TDatabase::DriverPostgres));
    database.SetParams(params + QStringList{QStringLiteral("CREATE=TRUE")});
    database.Open();
    const CatalogSchema::TServerCatalogue made = CatalogSchema::EnsureServerCatalogue(database);
    database.Close();
    // Written once the catalogue is there: the alias never names a database without one.
    CatalogSchema::SetServerAlias(alias, params);
    QTextStream out(stdout);
    if (made == CatalogSchema::TServerCatalogue::Created)
        out << "made a new catalogue in " << options.Server << "\n";
    else
        out << options.Server << " holds a catalogue already; it was left as it is\n";
    out << "the alias " << alias << " now names it\n";
    return ecDone;
}

int volumes(TGlobal &global)
{
    TQuery query;
    query.SetDatabase(&global.Database);
    query.SetSQL(
        {QStringLiteral("SELECT Entries.ID, CDs.SerialNum, CDs.VolumeLabel, Entries.Name, Entries.Size"),
         QStringLiteral("FROM Entries INNER JOIN CDs ON CDs.ID = Entries.ID"),
         QStringLiteral("WHERE Entries.Parent IS NULL ORDER BY Entries.ID")});
    query.Open();
    QTextStream out(stdout);
    for (; !query.Eof(); query.Next()) {
        QStringList fields;
        for (int i = 0; i < query.FieldCount(); ++i)
            fields << query.Fields(i)->AsString().replace(u'\t', u' ').replace(u'\n', u' ');
        out << fields.join(u'\t') << '\n';
    }
    return ecDone;
}

int remove(TGlobal &global, const TOptions &options)
{
    if (options.Arguments.size() != 2)
        throw EUsage(QStringLiteral("delete takes one volume ID"));
    bool ok = false;
    const int id = options.Arguments[1].toInt(&ok);
    if (!ok)
        throw EUsage(QStringLiteral("delete takes a volume ID, a number"));
    TQuery query;
    query.SetDatabase(&global.Database);
    query.SetSQL({QStringLiteral("SELECT count(*) FROM Entries WHERE ID = :id AND Parent IS NULL")});
    query.ParamByName(QStringLiteral("id"))->SetAsInteger(id);
    query.Open();
    if (query.Fields(0)->AsInteger() == 0) {
        err() << "vor-nex-cli: there is no volume with ID " << id << '\n';
        return ecNothing;
    }
    query.Close();
    global.DeleteDisk(id);
    return ecDone;
}

// Tabs and line breaks in names would break the lines of a result apart.
QString field(const QString &text)
{
    return QString(text).replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

// Catalogue times without their milliseconds, which a disk never gives.
QString timeText(const TStatement &row, int column)
{
    return row.Column(column, TFieldType::String).AsString().left(19);
}

void checkFind(const TOptions &options)
{
    if (options.Arguments.size() != 2 && !(options.Text && options.Arguments.size() == 1))
        throw EUsage(QStringLiteral("find takes one PATTERN"));
    if (options.From.has_value() != options.To.has_value())
        throw EUsage(QStringLiteral("--from and --to go together"));
    if (options.BySize || options.ByPath || options.ByTime || !options.Root.isEmpty())
        throw EUsage(
            QStringLiteral("--path, --size without a relation, --time and --root belong to matches"));
}

int find(TGlobal &global, const TOptions &options)
{
    TFindCriteria criteria;
    if (options.Arguments.size() > 1)
        criteria.Name = options.Arguments[1];
    criteria.Text = options.Text.value_or(QString());
    criteria.WholeMatch = options.Whole;
    criteria.VolumeID = options.Volume;
    if (options.Type) {
        criteria.TypeImageID = options.Type;
        criteria.TypeIsVolumePicture = IsVolumePicture(global, *options.Type);
    }
    if (options.From)
        criteria.Modified = TFindCriteria::TDays{*options.From, *options.To};
    criteria.SizeRelation = options.SizeRelation;
    criteria.SizeText = options.SizeKB;
    ApplyFindCriteria(global, criteria);

    // Streamed, so that a search of every entry of a large catalogue holds only one row at a time.
    TResultLines lines;
    qint64 rows = 0;
    ForEachFindResult(global, [&](const TStatement &row) {
        const auto text = [&row](int column) {
            return field(row.Column(column, TFieldType::String).AsString());
        };
        lines.Stream() << text(0) << '\t' << text(1) << '\t' << text(2) << '\t' << text(3) << '\t' << text(4)
                       << '\t' << timeText(row, 5);
        lines.EndLine();
        ++rows;
    });
    return rows > 0 ? ecDone : ecNothing;
}

void checkMatches(const TOptions &options)
{
    if (options.Arguments.size() != 2)
        throw EUsage(QStringLiteral("matches takes one FOLDER"));
    if (options.Whole || options.Volume || options.Type || options.From || options.To ||
        options.SizeRelation != TSizeRelation::None || options.Text)
        throw EUsage(QStringLiteral("--whole, --volume, --type, --from, --to, --size with a relation and "
                                    "--text belong to find"));
}

int matches(TGlobal &global, const TOptions &options)
{
    if (!QFileInfo(options.Arguments[1]).isDir()) {
        err() << "vor-nex-cli: " << options.Arguments[1] << " is not a readable folder\n";
        return ecNothing;
    }
    TFolderComparison comparison(global);
    comparison.SetVolumeRoot(options.Root);
    // The scratch tables are emptied however the comparison ends, as the window leaves them.
    struct TClear
    {
        TFolderComparison &Comparison;
        ~TClear()
        {
            try {
                Comparison.ClearScratch();
            } catch (...) {
            }
        }
    } clear{comparison};

    std::signal(SIGINT, onInterrupt);
    try {
        if (!comparison.RunComparison(options.Arguments[1], options.ByPath, options.BySize, options.ByTime,
                                      [] { return stopRequested.load(); }))
            return ecNothing;
    } catch (const EStopComparing &) {
        err() << "vor-nex-cli: stopped\n";
        return ecNothing;
    }
    TResultLines lines;
    comparison.ForEachPair([&](const TStatement &row) {
        const auto text = [&row](int column) {
            return field(row.Column(column, TFieldType::String).AsString());
        };
        lines.Stream() << text(0) << text(1) << '\t' << text(2) << '\t' << text(3) << text(4) << '\t'
                       << text(5) << '\t' << timeText(row, 6);
        lines.EndLine();
    });
    return ecDone;
}

void checkExport(const TOptions &options)
{
    if (options.Arguments.size() > 2)
        throw EUsage(QStringLiteral("export takes at most one FILE"));
    if (options.Whole || options.Type || options.From || options.To ||
        options.SizeRelation != TSizeRelation::None || options.Text || options.BySize || options.ByPath ||
        options.ByTime || !options.Root.isEmpty())
        throw EUsage(QStringLiteral("export takes --volume and --format only"));
}

int exportCatalogue(TGlobal &global, const TOptions &options)
{
    const QString fileName = options.Arguments.value(1);
    TExportFormat format = TExportFormat::Csv;
    if (options.Format)
        format = *options.Format;
    else if (const std::optional<TExportFormat> bySuffix = ExportFormatFromName(QFileInfo(fileName).suffix()))
        format = *bySuffix;
    if (options.Volume) {
        TQuery query;
        query.SetDatabase(&global.Database);
        query.SetSQL({QStringLiteral("SELECT count(*) FROM Entries WHERE ID = :id AND Parent IS NULL")});
        query.ParamByName(QStringLiteral("id"))->SetAsInteger(*options.Volume);
        query.Open();
        if (query.Fields(0)->AsInteger() == 0) {
            err() << "vor-nex-cli: there is no volume with ID " << *options.Volume << '\n';
            return ecNothing;
        }
    }

    // A file is written under another name and put in place when complete, so a stopped or failed
    // export never leaves half a file where a whole one was.
    QSaveFile file(fileName);
    QFile out;
    QIODevice *device = &file;
    if (fileName.isEmpty()) {
        if (!out.open(stdout, QIODevice::WriteOnly))
            throw Exception(QStringLiteral("cannot write to standard output: %1").arg(out.errorString()));
        device = &out;
    } else if (!file.open(QIODevice::WriteOnly)) {
        err() << "vor-nex-cli: cannot write " << fileName << ": " << file.errorString() << '\n';
        return ecNothing;
    }

    TProgressBar bar;
    global.OnProgress = [&bar](TGlobal *, int percent, int secondsLeft) {
        bar.Show(percent, secondsLeft > 0 ? QStringLiteral("Time remaining: %1 sec").arg(secondsLeft)
                                          : QStringLiteral("Exporting"));
        return stopRequested.load();
    };
    std::signal(SIGINT, onInterrupt);
    const bool done = ExportCatalogue(global, *device, format, options.Volume);
    global.OnProgress = nullptr;
    bar.Finish();
    if (!done) {
        err() << "vor-nex-cli: stopped; nothing was written\n";
        return ecNothing;
    }
    if (!fileName.isEmpty() && !file.commit()) {
        err() << "vor-nex-cli: cannot write " << fileName << ": " << file.errorString() << '\n';
        return ecError;
    }
    return ecDone;
}

// A catalogue named on the command line: a file, or a database on a server.
struct TCatalogueEnd
{
    QString Text;
    bool OnServer = false;
};

void openEnd(TDatabase &database, const TCatalogueEnd &end, bool target)
{
    if (end.OnServer) {
        database.SetDriverName(QString::fromUtf16(TDatabase::DriverPostgres));
        QStringList params = CatalogSchema::ServerAliasParams(end.Text);
        if (target)
            params << QStringLiteral("CREATE=TRUE");
        database.SetParams(params);
        database.Open();
        if (target && !database.TableExists(QStringLiteral("Entries")))
            CatalogSchema::Create(database);
        return;
    }
    database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
    database.SetParams({QStringLiteral("DATABASE NAME=") + end.Text});
    database.Open();
}

int copyCatalogue(const QStringList &args)
{
    std::optional<TCatalogueEnd> from, to;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const bool isFrom = args[i] == u"--from";
        if (!isFrom && args[i] != u"--to")
            throw EUsage(QStringLiteral("copy takes --from FILE|URI and --to FILE|URI only"));
        if (i + 1 >= args.size())
            throw EUsage(QStringLiteral("%1 needs a catalogue file or a server URI").arg(args[i]));
        const QString text = args[++i];
        const bool onServer = text.startsWith(u"postgresql://") || text.startsWith(u"postgres://");
        if (onServer) {
            try {
                CatalogSchema::ServerAliasParams(text);
            } catch (const EDatabaseError &error) {
                throw EUsage(error.Message());
            }
        }
        (isFrom ? from : to) = TCatalogueEnd{onServer ? text : QFileInfo(text).absoluteFilePath(), onServer};
    }
    if (!from || !to)
        throw EUsage(QStringLiteral("copy needs --from and --to"));
    if (!from->OnServer && !QFileInfo::exists(from->Text)) {
        err() << "vor-nex-cli: there is no catalogue " << from->Text << '\n';
        return ecNothing;
    }
    if (!from->OnServer && !to->OnServer && from->Text == to->Text)
        throw EUsage(QStringLiteral("a catalogue cannot be copied into itself"));

    // A file this copy made goes again when the copy does not complete.
    const bool madeFile = !to->OnServer && !QFileInfo::exists(to->Text);
    if (madeFile)
        CatalogSchema::CreateFile(to->Text);
    auto dropMade = qScopeGuard([&] {
        if (madeFile)
            QFile::remove(to->Text);
    });
    TDatabase source, target;
    openEnd(source, *from, false);
    openEnd(target, *to, true);

    TProgressBar bar;
    std::signal(SIGINT, onInterrupt);
    const TCopyCounts counts = CopyCatalogue(source, target, [&bar](qint64 done, qint64 total) {
        bar.Show(total > 0 ? int(done * 100 / total) : 100, QStringLiteral("%1 entries").arg(done));
        return !stopRequested.load();
    });
    bar.Finish();
    target.Close();
    dropMade.dismiss();
    err() << counts.Volumes << " volumes and " << counts.Entries << " entries copied\n";
    return ecDone;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vor-nex-cli"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << Usage;
        return ecDone;
    }
    try {
        if (args.value(0) == u"copy")
            return copyCatalogue(args.mid(1));
        const TOptions options = parse(args);
        if (options.Arguments.isEmpty())
            throw EUsage(QStringLiteral("a command is needed"));
        const QString command = options.Arguments.first();
        if (command != u"scan" && command != u"volumes" && command != u"delete" && command != u"find" &&
            command != u"matches" && command != u"update" && command != u"export" && command != u"init")
            throw EUsage(QStringLiteral("unknown command %1").arg(command));
        // Arguments are checked before the catalogue is touched (or made).
        if (command == u"volumes" && options.Arguments.size() != 1)
            throw EUsage(QStringLiteral("volumes takes no arguments"));
        if (command == u"scan" && options.Arguments.size() != 2)
            throw EUsage(QStringLiteral("scan takes one PATH"));
        if (command == u"update" && options.Arguments.size() != 2 &&
            !(options.Arguments.size() == 1 && options.Volume))
            throw EUsage(QStringLiteral("update takes one PATH, or --volume ID"));
        if (command == u"delete" && (options.Arguments.size() != 2 || !isNumber(options.Arguments[1])))
            throw EUsage(QStringLiteral("delete takes one volume ID, a number"));
        if (command == u"find")
            checkFind(options);
        if (command == u"matches")
            checkMatches(options);
        if (command == u"export")
            checkExport(options);
        if (command == u"init" || !options.Server.isEmpty())
            return initServer(options);
        std::unique_ptr<TGlobal> global = openCatalogue(options);
        answerQuestions(*global, options);
        if (command == u"scan")
            return scan(*global, options);
        if (command == u"update")
            return update(*global, options);
        if (command == u"volumes")
            return volumes(*global);
        if (command == u"find")
            return find(*global, options);
        if (command == u"matches")
            return matches(*global, options);
        if (command == u"export")
            return exportCatalogue(*global, options);
        return remove(*global, options);
    } catch (const EUsage &error) {
        err() << "vor-nex-cli: " << error.Message() << "\n\n" << Usage;
        return ecUsage;
    } catch (const Exception &error) {
        err() << "vor-nex-cli: " << error.Message() << '\n';
        return ecError;
    } catch (const std::exception &error) {
        err() << "vor-nex-cli: " << error.what() << '\n';
        return ecError;
    }
}
