#pragma once

#include <QString>
#include <QStringList>

// Whether text is a libpq connection URI (postgresql://... or postgres://...).
bool IsPostgresUri(const QString &text);

// The parameters of the POSTGRESQL driver (SERVER, PORT, DATABASE NAME, USER NAME) that a libpq
// connection URI names: postgresql://user@host:port/database, or
// postgresql:///database?host=/socket/folder&user=name. A password in it is refused, as one is
// never to be written where aliases are kept. Throws EDatabaseError for what libpq cannot read.
QStringList PostgresParamsFromUri(const QString &uri);
