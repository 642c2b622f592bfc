#include "PgUris.h"

#include "DatabaseError.h"

#include <QCoreApplication>
#include <libpq-fe.h>

bool IsPostgresUri(const QString &text)
{
    return text.startsWith(u"postgresql://") || text.startsWith(u"postgres://");
}

QStringList PostgresParamsFromUri(const QString &uri)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.toUtf8().constData(), &error);
    if (!options) {
        const QString reason = error ? QString::fromUtf8(error).trimmed() : QStringLiteral("out of memory");
        PQfreemem(error);
        throw EDatabaseError(
            QCoreApplication::translate("TDatabase", "%1 is no server address: %2").arg(uri, reason));
    }
    QString host, port, database, user, password;
    for (const PQconninfoOption *option = options; option->keyword; ++option) {
        if (!option->val)
            continue;
        const QByteArrayView keyword(option->keyword);
        const QString value = QString::fromUtf8(option->val);
        if (keyword == "host")
            host = value;
        else if (keyword == "port")
            port = value;
        else if (keyword == "dbname")
            database = value;
        else if (keyword == "user")
            user = value;
        else if (keyword == "password")
            password = value;
    }
    PQconninfoFree(options);
    if (!password.isEmpty())
        throw EDatabaseError(QCoreApplication::translate(
            "TDatabase", "A server address may not hold a password: keep it in ~/.pgpass."));
    if (database.isEmpty())
        throw EDatabaseError(
            QCoreApplication::translate("TDatabase", "%1 names no database on the server.").arg(uri));
    QStringList params;
    if (!host.isEmpty())
        params << QStringLiteral("SERVER=") + host;
    if (!port.isEmpty())
        params << QStringLiteral("PORT=") + port;
    params << QStringLiteral("DATABASE NAME=") + database;
    if (!user.isEmpty())
        params << QStringLiteral("USER NAME=") + user;
    return params;
}
