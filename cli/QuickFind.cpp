#include "QuickFind.h"

#include "CatalogLayout.h"
#include "FindStatements.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Every check below that fails hands the command to the full tool, which then says what is wrong
// (or makes, upgrades or indexes the catalogue) as it always did. So each check only has to be
// strict, never complete: what it is unsure of, it hands on.

namespace {

using FindStatements::TDay;

// The code points of valid UTF-8; none for anything else, which Qt would read with replacement
// characters.
std::optional<std::u32string> decodeUtf8(std::string_view text)
{
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t at) { return at < text.size() ? (unsigned char)text[at] : 0u; };
        const unsigned lead = byte(i);
        int length = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
        } else {
            return std::nullopt;
        }
        for (int k = 1; k < length; ++k) {
            const unsigned next = byte(i + size_t(k));
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            c = c << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        out += c;
        i += size_t(length);
    }
    return out;
}

// The blanks QString::trimmed removes.
bool isBlank(char32_t c)
{
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// The length of the UTF-8 sequence a byte begins.
size_t sequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

// UTF-8 text without blanks at either end.
std::string_view withoutBlanks(std::string_view text)
{
    const auto blankAt = [&text](size_t at, size_t length) {
        const std::optional<std::u32string> code = decodeUtf8(text.substr(at, length));
        return code && code->size() == 1 && isBlank((*code)[0]);
    };
    while (!text.empty() && sequenceLength(text[0]) <= text.size() && blankAt(0, sequenceLength(text[0])))
        text.remove_prefix(sequenceLength(text[0]));
    while (!text.empty()) {
        size_t start = text.size() - 1;
        while (start > 0 && ((unsigned char)text[start] & 0xC0) == 0x80)
            --start;
        if (!blankAt(start, text.size() - start))
            break;
        text.remove_suffix(text.size() - start);
    }
    return text;
}

// text without blanks at either end; none for text that is not UTF-8.
std::optional<std::string> trimmed(std::string_view text)
{
    if (!decodeUtf8(text))
        return std::nullopt;
    return std::string(withoutBlanks(text));
}

bool isTrimmed(std::string_view text)
{
    const std::optional<std::string> bare = trimmed(text);
    return bare && *bare == text;
}

// A whole number of ASCII digits, a minus before it allowed; nothing else, no blanks.
template <typename TNumber> std::optional<TNumber> number(std::string_view text)
{
    TNumber value{};
    if (text.empty() || text[0] == '+')
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// YYYY-MM-DD, a day the calendar has.
std::optional<TDay> day(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    const auto digits = [&text](size_t at, size_t count) {
        return std::atoi(std::string(text.substr(at, count)).c_str());
    };
    const TDay result{digits(0, 4), digits(5, 2), digits(8, 2)};
    const bool leap = (result.Year % 4 == 0 && result.Year % 100 != 0) || result.Year % 400 == 0;
    const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (result.Year < 1 || result.Month < 1 || result.Month > 12 || result.Day < 1 ||
        result.Day > lengths[result.Month - 1])
        return std::nullopt;
    return result;
}

bool isAsciiWordCharacter(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct TRequest
{
    std::string Catalog;
    FindStatements::TSearch Search;
};

// The options of find as the full tool reads them, given anywhere on the line, the last one of a
// kind counting.
std::optional<TRequest> parse(int argc, char *argv[])
{
    TRequest request;
    std::vector<std::string_view> arguments;
    std::optional<TDay> from;
    std::optional<TDay> to;
    std::optional<std::string_view> text;
    // The full tool reads the arguments as UTF-8 with replacement characters, and shows its help
    // when one of them asks for it, even as the value of an option.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!decodeUtf8(arg) || arg == "--help" || arg == "-h")
            return std::nullopt;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string_view value = hasValue ? std::string_view(argv[i + 1]) : std::string_view();
        if (arg == "--whole") {
            request.Search.WholeMatch = true;
        } else if (!hasValue) {
            if (arg.starts_with("-"))
                return std::nullopt;
            arguments.push_back(arg);
        } else if (arg == "--catalog") {
            request.Catalog = value;
            ++i;
        } else if (arg == "--text") {
            text = value;
            ++i;
        } else if (arg == "--volume" || arg == "--type") {
            const std::optional<int> id = number<int>(value);
            if (!id)
                return std::nullopt;
            (arg == "--volume" ? request.Search.VolumeID : request.Search.TypeImageID) = id;
            ++i;
        } else if (arg == "--from" || arg == "--to") {
            (arg == "--from" ? from : to) = day(value);
            if (!(arg == "--from" ? from : to))
                return std::nullopt;
            ++i;
        } else if (arg == "--size" && !value.empty() &&
                   std::string_view("=<>").find(value[0]) != std::string_view::npos) {
            std::string_view kb = value.substr(1);
            ++i;
            if (kb.empty()) {
                if (i + 1 >= argc)
                    return std::nullopt;
                kb = argv[++i];
            }
            const std::optional<int64_t> size = number<int64_t>(kb);
            if (!size)
                return std::nullopt;
            request.Search.SizeRelation = value[0] == '='   ? TSizeRelation::Equal
                                          : value[0] == '<' ? TSizeRelation::AtMost
                                                            : TSizeRelation::AtLeast;
            request.Search.SizeBytes = FindStatements::SizeInBytes(*size);
        } else if (arg.starts_with("-")) {
            // The options of the other commands, and those the tool does not know.
            return std::nullopt;
        } else {
            arguments.push_back(arg);
        }
    }
    if (arguments.empty() || arguments[0] != "find" || arguments.size() > 2 ||
        (arguments.size() == 1 && !text) || from.has_value() != to.has_value())
        return std::nullopt;
    if (arguments.size() == 2 && arguments[1] != "*")
        request.Search.Name = trimmed(arguments[1]);
    request.Search.From = from;
    request.Search.To = to;
    if (text) {
        const std::u32string codes = *decodeUtf8(*text);
        // Which characters beyond ASCII words are made of takes Unicode's tables, which Qt has.
        for (char32_t c : codes)
            if (c >= 0x80)
                return std::nullopt;
        request.Search.TextQuery = FindStatements::DescriptionQuery(codes, isAsciiWordCharacter);
    }
    return request;
}

bool hasDotComponent(std::string_view path)
{
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view component = path.substr(start, end - start);
        if (component == "." || component == "..")
            return true;
        start = end + 1;
    }
    return false;
}

bool equalsAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i]))
            return false;
    return true;
}

bool isAscii(std::string_view text)
{
    for (char c : text)
        if ((unsigned char)c >= 0x80)
            return false;
    return true;
}

// A catalogue file, and whether it is to be opened for reading only.
struct TCatalogueFile
{
    std::string Path;
    bool ReadOnly = false;
};

// The file the catalogue's alias names in the engine configuration, when the alias is an SQLite
// one; none when the configuration or the alias is missing, or anything about them is unusual.
std::optional<TCatalogueFile> aliasFile()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char *home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return std::nullopt;
        base = std::string(home) + "/.config";
    }
    if (hasDotComponent(base))
        return std::nullopt;
    FILE *file = std::fopen((base + "/vor-nex/engine.ini").c_str(), "rbe");
    if (!file)
        return std::nullopt;
    std::string data;
    char chunk[4096];
    for (size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        data.append(chunk, got);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed || !decodeUtf8(data))
        return std::nullopt;

    std::vector<std::string> sections;
    bool inAlias = false;
    bool hasDriver = false;
    std::optional<std::string> driver;
    std::optional<std::string> path;
    std::optional<std::string> mode;
    for (size_t start = 0; start <= data.size();) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos)
            end = data.size();
        std::string_view line(data.data() + start, end - start);
        start = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::string_view bare = withoutBlanks(line);
        if (bare.empty() || bare[0] == ';' || bare[0] == '#')
            continue;
        if (bare[0] == '[') {
            if (bare.size() < 2 || bare.back() != ']')
                return std::nullopt;
            const std::string name(withoutBlanks(bare.substr(1, bare.size() - 2)));
            if (name.empty() || !isAscii(name))
                return std::nullopt;
            for (const std::string &known : sections)
                if (equalsAsciiCase(known, name))
                    return std::nullopt;
            sections.push_back(name);
            inAlias = equalsAsciiCase(name, "VOR-NEX");
            hasDriver = false;
            continue;
        }
        const size_t equals = bare.find('=');
        if (sections.empty() || equals == std::string::npos)
            return std::nullopt;
        if (!inAlias)
            continue;
        const std::string_view key = withoutBlanks(bare.substr(0, equals));
        if (!isAscii(key))
            return std::nullopt;
        if (!hasDriver && equalsAsciiCase(key, "DRIVER")) {
            driver = withoutBlanks(bare.substr(equals + 1));
            hasDriver = true;
        } else if (equals > 0 && !path && equalsAsciiCase(key, "DATABASE NAME")) {
            path = withoutBlanks(bare.substr(equals + 1));
        } else if (equals > 0 && !mode && equalsAsciiCase(key, "OPEN MODE")) {
            mode = withoutBlanks(bare.substr(equals + 1));
        }
    }
    if (!driver || !equalsAsciiCase(*driver, "SQLITE") || !path || path->empty())
        return std::nullopt;
    return TCatalogueFile{*path, mode && equalsAsciiCase(*mode, "READ ONLY")};
}

// A statement of the read connection, finalised however the search ends.
class TStatement
{
public:
    TStatement(sqlite3 *db, std::string_view sql)
    {
        if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &FStmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(FStmt);
            FStmt = nullptr;
        }
    }
    ~TStatement() { sqlite3_finalize(FStmt); }
    TStatement(const TStatement &) = delete;
    TStatement &operator=(const TStatement &) = delete;

    sqlite3_stmt *Handle() const { return FStmt; }
    // The first column of the one row; none on an engine error.
    std::optional<int64_t> Value()
    {
        if (!FStmt || sqlite3_step(FStmt) != SQLITE_ROW)
            return std::nullopt;
        return sqlite3_column_int64(FStmt, 0);
    }

private:
    sqlite3_stmt *FStmt = nullptr;
};

class TConnection
{
public:
    explicit TConnection(const TCatalogueFile &file)
    {
        // Opened as the full tool opens it, so that the last connection to close removes the
        // engine's log and its index beside the file, as the full tool's does; the engine itself
        // refuses to change anything through it.
        const int mode = file.ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
        if (sqlite3_open_v2(file.Path.c_str(), &FDb, mode | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
            sqlite3_exec(FDb, "PRAGMA query_only = 1", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close_v2(FDb);
            FDb = nullptr;
        }
    }
    ~TConnection() { sqlite3_close_v2(FDb); }
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;
    sqlite3 *Handle() const { return FDb; }

private:
    sqlite3 *FDb = nullptr;
};

std::string dayText(const TDay &day, bool end)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %s", day.Year, day.Month, day.Day,
                  end ? "23:59:59.999" : "00:00:00.000");
    return text;
}

bool bind(sqlite3_stmt *statement, const FindStatements::TParameter &parameter)
{
    using K = FindStatements::TParameter::TKind;
    const int index = sqlite3_bind_parameter_index(statement, (':' + std::string(parameter.Name)).c_str());
    if (index == 0)
        return false;
    switch (parameter.Kind) {
    case K::Switch:
        return sqlite3_bind_int(statement, index, parameter.Flag ? 1 : 0) == SQLITE_OK;
    case K::Text:
        return sqlite3_bind_text(statement, index, parameter.Text.data(), int(parameter.Text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    case K::Null:
        return sqlite3_bind_null(statement, index) == SQLITE_OK;
    case K::Integer:
    case K::LargeInt:
        return sqlite3_bind_int64(statement, index, parameter.Number) == SQLITE_OK;
    case K::DayStart:
    case K::DayEnd: {
        const std::string text = dayText(parameter.Day, parameter.Kind == K::DayEnd);
        return sqlite3_bind_text(statement, index, text.data(), int(text.size()), SQLITE_TRANSIENT) ==
               SQLITE_OK;
    }
    }
    return false;
}

// A column's text as the full tool writes it: bytes that are not UTF-8 as replacement characters,
// as Qt reads them; with breaks, tabs and line ends as blanks (a field of a line), or its first 19
// UTF-16 units (a time without its milliseconds).
void appendColumn(std::string &line, sqlite3_stmt *row, int column, bool asTime)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
    const std::string_view bytes(text ? text : "", text ? size_t(sqlite3_column_bytes(row, column)) : 0);
    size_t units = 0;
    for (size_t i = 0; i < bytes.size() && !(asTime && units >= 19);) {
        const unsigned char lead = bytes[i];
        // Most text is ASCII, one unit a byte, and needs no decoding.
        if (lead < 0x80) {
            line += !asTime && (lead == '\t' || lead == '\n' || lead == '\r') ? ' ' : char(lead);
            ++units;
            ++i;
            continue;
        }
        const size_t length = sequenceLength(lead);
        std::optional<std::u32string> code;
        if (i + length <= bytes.size())
            code = decodeUtf8(bytes.substr(i, length));
        if (!code || code->size() != 1) {
            line += "\xEF\xBF\xBD";
            ++i;
            ++units;
            continue;
        }
        if (!asTime && (lead == '\t' || lead == '\n' || lead == '\r'))
            line += ' ';
        else
            line.append(bytes.substr(i, length));
        units += length == 4 ? 2 : 1;
        i += length;
    }
}

} // namespace

std::optional<int> QuickFind(int argc, char *argv[])
{
    std::optional<TRequest> request = parse(argc, argv);
    if (!request)
        return std::nullopt;
    std::optional<TCatalogueFile> file;
    if (!request->Catalog.empty()) {
        // A missing file is made by the full tool.
        struct stat status;
        if (!isTrimmed(request->Catalog) || ::stat(request->Catalog.c_str(), &status) != 0)
            return std::nullopt;
        file = TCatalogueFile{request->Catalog};
    } else {
        file = aliasFile();
    }
    if (!file || hasDotComponent(file->Path))
        return std::nullopt;

    // Nothing reads the engine's memory statistics, which cost a lock on every allocation.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    TConnection connection(*file);
    sqlite3 *db = connection.Handle();
    // One snapshot for the checks and the search; a catalogue being written is left to the full
    // tool, which waits for it.
    if (!db || sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::nullopt;
    if (TStatement(db, "PRAGMA application_id").Value() != CatalogSchema::ApplicationId ||
        TStatement(db, "PRAGMA user_version").Value() != CatalogSchema::Version ||
        TStatement(db, CatalogSchema::IndexesBehindSql).Value() != 0)
        return std::nullopt;
    FindStatements::TSearch &search = request->Search;
    if (search.TypeImageID) {
        TStatement picture(db, FindStatements::VolumePictureSql);
        if (!picture.Handle() || sqlite3_bind_int(picture.Handle(), 1, *search.TypeImageID) != SQLITE_OK)
            return std::nullopt;
        const int rc = sqlite3_step(picture.Handle());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return std::nullopt;
        search.TypeIsVolumePicture = rc == SQLITE_ROW && sqlite3_column_int64(picture.Handle(), 0) != 0;
    }

    std::string sql;
    for (const std::string &line : FindStatements::DialogLines())
        sql += (sql.empty() ? "" : "\n") + line;
    TStatement find(db, sql);
    sqlite3_stmt *row = find.Handle();
    if (!row)
        return std::nullopt;
    for (const FindStatements::TParameter &parameter : FindStatements::Parameters(search))
        if (!bind(row, parameter))
            return std::nullopt;
    int rc = sqlite3_step(row);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return std::nullopt;

    // A line at a time to a terminal, where somebody waits for the first of them; in blocks to a
    // pipe or a file, where only the whole counts.
    const bool eachLine = ::isatty(STDOUT_FILENO);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    int64_t rows = 0;
    std::string line;
    for (; rc == SQLITE_ROW; rc = sqlite3_step(row)) {
        line.clear();
        for (int column = 0; column < 6; ++column) {
            if (column > 0)
                line += '\t';
            appendColumn(line, row, column, column == 5);
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
        if (eachLine)
            std::fflush(stdout);
        ++rows;
    }
    std::fflush(stdout);
    if (rc != SQLITE_DONE) {
        std::fprintf(stderr, "vor-nex-cli: %s\n", sqlite3_errmsg(db));
        return 3;
    }
    return rows > 0 ? 0 : 1;
}
