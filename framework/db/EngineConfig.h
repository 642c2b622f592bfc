#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// A named alias: the driver and its parameter lines "KEY=value", in the order they were given.
struct TAliasInfo
{
    QString Name;
    QString Driver;
    QStringList Params;

    // The value of key (letter case ignored), empty when the alias has no such parameter.
    QString Param(const QString &key) const;
};

// The engine's configuration, where aliases live: an INI file with one section per alias,
//   [VOR-NEX]
//   DRIVER=SQLITE
//   DATABASE NAME=/home/u/.local/share/vor-nex/vor-nex.db
// Keys keep their spaces and lines their order, which QSettings would escape and reorder.
class TEngineConfig
{
public:
    // vor-nex/engine.ini under $XDG_CONFIG_HOME, or under ~/.config when that is unset, empty or
    // relative (the XDG rule ignores relative paths).
    static QString DefaultPath();

    explicit TEngineConfig(QString path = DefaultPath());

    const QString &Path() const { return FPath; }

    // A missing file holds no aliases; an unreadable or malformed one raises EDatabaseError.
    void Load();
    // Writes every alias, creating the folder; the file is replaced whole or not at all.
    void Save() const;

    bool IsAlias(const QString &name) const { return Find(name) != nullptr; }
    std::optional<TAliasInfo> Alias(const QString &name) const;
    QStringList AliasNames() const;
    // In memory only, until Save.
    void AddAlias(const QString &name, const QString &driver, const QStringList &params);
    // In memory only, until Save; nothing when there is no such alias.
    void RemoveAlias(const QString &name);

private:
    QString FPath;
    std::vector<TAliasInfo> FAliases;

    const TAliasInfo *Find(const QString &name) const;
};
