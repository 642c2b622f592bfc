#include "EngineConfig.h"

#include "DatabaseError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>

namespace {

QString keyOf(const QString &line)
{
    return line.left(line.indexOf(u'=')).trimmed();
}

bool isDriverLine(const QString &line)
{
    return keyOf(line).compare(u"DRIVER", Qt::CaseInsensitive) == 0;
}

QString withoutLeadingSpace(const QString &line)
{
    qsizetype start = 0;
    while (start < line.size() && line[start].isSpace())
        ++start;
    return line.mid(start);
}

// A parameter line is written as it is, so it must read back as a parameter: not as a comment or a
// section, and not split over lines.
bool isStorableParam(const QString &line)
{
    const QString trimmed = line.trimmed();
    return line.contains(u'=') && !line.contains(u'\n') && !line.contains(u'\r') &&
           !trimmed.startsWith(u'[') && !trimmed.startsWith(u';') && !trimmed.startsWith(u'#');
}

} // namespace

QString TAliasInfo::Param(const QString &key) const
{
    for (const QString &line : Params)
        if (keyOf(line).compare(key.trimmed(), Qt::CaseInsensitive) == 0)
            return line.mid(line.indexOf(u'=') + 1);
    return QString();
}

QString TEngineConfig::DefaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/vor-nex/engine.ini"));
}

TEngineConfig::TEngineConfig(QString path) : FPath(std::move(path))
{}

const TAliasInfo *TEngineConfig::Find(const QString &name) const
{
    for (const TAliasInfo &alias : FAliases)
        if (alias.Name.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return &alias;
    return nullptr;
}

std::optional<TAliasInfo> TEngineConfig::Alias(const QString &name) const
{
    if (const TAliasInfo *alias = Find(name))
        return *alias;
    return std::nullopt;
}

QStringList TEngineConfig::AliasNames() const
{
    QStringList names;
    for (const TAliasInfo &alias : FAliases)
        names << alias.Name;
    return names;
}

void TEngineConfig::AddAlias(const QString &name, const QString &driver, const QStringList &params)
{
    const QString trimmedName = name.trimmed();
    if (trimmedName.isEmpty() || trimmedName.contains(u'\n') || trimmedName.contains(u'\r'))
        throw EDatabaseError(QStringLiteral("Invalid alias name '%1'").arg(name));
    if (IsAlias(trimmedName))
        throw EDatabaseError(QStringLiteral("Duplicate alias name '%1'").arg(trimmedName));
    if (driver.contains(u'\n') || driver.contains(u'\r'))
        throw EDatabaseError(QStringLiteral("Invalid driver name '%1'").arg(driver));
    for (const QString &line : params)
        if (!isStorableParam(line))
            throw EDatabaseError(QStringLiteral("Invalid parameter '%1' of alias '%2': KEY=value expected")
                                     .arg(line, trimmedName));
    FAliases.push_back({trimmedName, driver.trimmed(), params});
}

void TEngineConfig::RemoveAlias(const QString &name)
{
    std::erase_if(FAliases, [name = name.trimmed()](const TAliasInfo &alias) {
        return alias.Name.compare(name, Qt::CaseInsensitive) == 0;
    });
}

void TEngineConfig::Load()
{
    QFile file(FPath);
    if (!file.exists()) {
        FAliases.clear();
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(
            QStringLiteral("Cannot read the engine configuration %1: %2").arg(FPath, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EDatabaseError(
            QStringLiteral("Cannot read the engine configuration %1: %2").arg(FPath, file.errorString()));

    // Parsed aside, so a malformed file leaves the aliases loaded before.
    std::vector<TAliasInfo> aliases;
    bool hasDriver = false;
    const QStringList lines = QString::fromUtf8(data).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto malformed = [&](const QString &reason) {
            return EDatabaseError(QStringLiteral("The engine configuration %1 is malformed at line %2: %3")
                                      .arg(FPath)
                                      .arg(i + 1)
                                      .arg(reason));
        };
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            const QString name = trimmed.mid(1, trimmed.size() - 2).trimmed();
            if (!trimmed.endsWith(u']') || name.isEmpty())
                throw malformed(QStringLiteral("invalid section name %1").arg(trimmed));
            for (const TAliasInfo &alias : aliases)
                if (alias.Name.compare(name, Qt::CaseInsensitive) == 0)
                    throw malformed(QStringLiteral("Duplicate alias name '%1'").arg(name));
            aliases.push_back({name, {}, {}});
            hasDriver = false;
        } else if (aliases.empty()) {
            throw malformed(QStringLiteral("a line outside any alias section"));
        } else if (!trimmed.contains(u'=')) {
            throw malformed(QStringLiteral("KEY=value expected"));
        } else if (!hasDriver && isDriverLine(trimmed)) {
            aliases.back().Driver = trimmed.mid(trimmed.indexOf(u'=') + 1).trimmed();
            hasDriver = true;
        } else {
            aliases.back().Params << withoutLeadingSpace(line);
        }
    }
    FAliases = std::move(aliases);
}

void TEngineConfig::Save() const
{
    const auto failure = [this](const QString &reason) {
        return EDatabaseError(
            QStringLiteral("Cannot save the engine configuration %1: %2").arg(FPath, reason));
    };
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(QFileInfo(FPath).absolutePath()).toStdString(),
                                        error);
    if (error)
        throw failure(QString::fromLocal8Bit(error.message().c_str()));

    QString text;
    for (const TAliasInfo &alias : FAliases) {
        if (!text.isEmpty())
            text += u'\n';
        text += u'[' + alias.Name + QStringLiteral("]\nDRIVER=") + alias.Driver + u'\n';
        for (const QString &line : alias.Params)
            text += line + u'\n';
    }
    // QSaveFile writes a temporary file and renames it over the old one, so a crash or a full disk
    // never leaves a half-written configuration behind.
    QSaveFile file(FPath);
    if (!file.open(QIODevice::WriteOnly))
        throw failure(file.errorString());
    const QByteArray data = text.toUtf8();
    if (file.write(data) != data.size() || !file.commit())
        throw failure(file.errorString());
}
