// A catalogue shared on a PostgreSQL server: making it in an empty database, and the alias that
// names it.

#include "CatalogSchema.h"
#include "CatalogSchemaPg.h"
#include "DatabaseError.h"
#include "Databases.h"
#include "EngineConfig.h"

#include <QCoreApplication>
#include <QUrl>
#include <QUrlQuery>
#include <pwd.h>
#include <unistd.h>

namespace CatalogSchema {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CatalogSchema", text);
}

// libpq's default user: the login name of the process.
QString loginName()
{
    if (const passwd *entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

} // namespace

TServerCatalogue EnsureServerCatalogue(TDatabase &database)
{
    if (Pg::LayoutOf(database) > 0)
        return TServerCatalogue::Existing;
    if (!IsEmptyDatabase(database))
        throw EDatabaseError(tr("%1 is not a VOR-NEX catalogue.").arg(database.FileName()));
    return Create(database) ? TServerCatalogue::Created : TServerCatalogue::Existing;
}

void EnsureServerCatalogueOf(const QString &aliasName)
{
    const TAliasInfo alias = TSession::Default().AliasInfo(aliasName);
    if (alias.Driver.compare(QStringView(TDatabase::DriverPostgres), Qt::CaseInsensitive) != 0)
        return;
    TDatabase database;
    database.SetAliasName(aliasName);
    database.Open();
    EnsureServerCatalogue(database);
}

QStringList ServerAliasParams(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"postgresql" && url.scheme() != u"postgres"))
        throw EDatabaseError(tr("%1 is no server address: postgresql://[user@]host[:port]/database or "
                                "postgresql:///database?host=/socket/folder&user=name")
                                 .arg(uri));
    const QUrlQuery query(url);
    QString host = url.host(QUrl::FullyDecoded);
    QString port = url.port() > 0 ? QString::number(url.port()) : QString();
    QString database = url.path(QUrl::FullyDecoded).mid(1);
    QString user = url.userName(QUrl::FullyDecoded);
    bool password = !url.password().isEmpty();
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == u"host")
            host = value;
        else if (key == u"port")
            port = value;
        else if (key == u"dbname")
            database = value;
        else if (key == u"user")
            user = value;
        else if (key == u"password")
            password = true;
        else
            throw EDatabaseError(
                tr("The alias keeps the server, port, database and user only, not %1").arg(key));
    }
    // The alias is a text file anyone with the account may read; libpq finds the password in
    // ~/.pgpass or a service file.
    if (password)
        throw EDatabaseError(tr("A password does not go in the alias: put it in ~/.pgpass"));
    if (database.isEmpty())
        throw EDatabaseError(tr("%1 names no database").arg(uri));
    QStringList params;
    if (!host.isEmpty())
        params << QStringLiteral("SERVER=") + host;
    if (!port.isEmpty())
        params << QStringLiteral("PORT=") + port;
    params << QStringLiteral("DATABASE NAME=") + database;
    // Always named: the data module's own default user name is no role of the server.
    params << QStringLiteral("USER NAME=") + (user.isEmpty() ? loginName() : user);
    return params;
}

void SetServerAlias(const QString &aliasName, const QStringList &params)
{
    TEngineConfig config;
    config.Load();
    config.RemoveAlias(aliasName);
    config.AddAlias(aliasName, QString::fromUtf16(TDatabase::DriverPostgres), params);
    config.Save();
}

} // namespace CatalogSchema
