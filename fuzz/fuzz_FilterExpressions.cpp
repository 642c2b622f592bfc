// Filter expressions as a user or a programmer may write them, right or wrong: translating one
// either raises EDatabaseError or gives a condition the engine accepts, with exactly one parameter
// per placeholder, so no text of the expression ever reaches the SQL unbound.

#include "DatabaseError.h"
#include "FilterExpressions.h"

#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

namespace {

sqlite3 *Db = nullptr;

std::optional<TFilterColumn> ResolveColumn(const QString &fieldName)
{
    static const std::pair<const char *, TFilterColumn> columns[] = {
        {"ID", {QStringLiteral("\"ID\""), TFieldType::AutoInc}},
        {"Name", {QStringLiteral("\"Name\""), TFieldType::String}},
        {"Folder", {QStringLiteral("\"Folder\""), TFieldType::Boolean}},
        {"ImageID", {QStringLiteral("\"ImageID\""), TFieldType::Smallint}},
        {"Size", {QStringLiteral("\"Size\""), TFieldType::Largeint}},
        {"Modified", {QStringLiteral("\"Modified\""), TFieldType::DateTime}},
        {"Description", {QStringLiteral("\"Description\""), TFieldType::Memo}},
        {"Cost", {QStringLiteral("\"Cost\""), TFieldType::Float}},
    };
    for (const auto &[name, column] : columns)
        if (fieldName.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return column;
    return std::nullopt;
}

// Nesting a few thousand levels deep exhausts the recursive parser's stack, a limit of its own that
// this target is not after.
bool NestsTooDeeply(const uint8_t *data, size_t size)
{
    size_t levels = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '(')
            ++levels;
        else if (i + 3 <= size && (data[i] | 0x20) == 'n' && (data[i + 1] | 0x20) == 'o' &&
                 (data[i + 2] | 0x20) == 't')
            ++levels;
    }
    return levels > 200;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (sqlite3_open(":memory:", &Db) != SQLITE_OK ||
        sqlite3_exec(Db,
                     "CREATE TABLE Files (ID INTEGER PRIMARY KEY, Name VARCHAR(64), Folder BOOLEAN, "
                     "ImageID SMALLINT, Size BIGINT, Modified DATETIME, Description TEXT, Cost FLOAT)",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || NestsTooDeeply(data, size))
        return 0;
    const bool caseInsensitive = data[0] & 1;
    const QString expression =
        QString::fromUtf8(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    TSqlCondition condition;
    try {
        condition = TranslateFilter(expression, ResolveColumn, caseInsensitive);
    } catch (const EDatabaseError &) {
        return 0;
    }
    if (condition.Sql.isEmpty()) {
        if (!condition.Params.empty())
            std::abort();
        return 0;
    }
    const QByteArray sql = (QStringLiteral("SELECT ID FROM Files WHERE ") + condition.Sql).toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(Db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK) {
        fprintf(stderr, "rejected: %s\n%s\n", sql.constData(), sqlite3_errmsg(Db));
        std::abort();
    }
    const int placeholders = sqlite3_bind_parameter_count(statement);
    sqlite3_finalize(statement);
    if (placeholders != int(condition.Params.size())) {
        fprintf(stderr, "%d placeholders, %zu parameters: %s\n", placeholders, condition.Params.size(),
                sql.constData());
        std::abort();
    }
    return 0;
}
