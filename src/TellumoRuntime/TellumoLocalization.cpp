#include "TellumoRuntime/TellumoLocalization.h"

#include "Platform/Defaults/UserDefaults.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace Tellumo {

namespace {

const QString kSource = QStringLiteral("zh-Hans");

const QHash<QString, QString> &cachedTable(const QString &language)
{
    static QHash<QString, QHash<QString, QString>> tables;
    auto it = tables.constFind(language);
    if (it == tables.cend())
        it = tables.insert(language, TellumoStrings::table(language));
    return *it;
}

} // namespace

namespace TellumoStrings {

QStringList languages()
{
    return {kSource, QStringLiteral("en"), QStringLiteral("zh-Hant")};
}

QHash<QString, QString> table(const QString &language)
{
    QHash<QString, QString> entries;
    if (language == kSource || !languages().contains(language))
        return entries;
    QFile file(QStringLiteral(":/tellumo/strings/%1.json").arg(language));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.value().isString() && !it.value().toString().isEmpty())
            entries.insert(it.key(), it.value().toString());
    return entries;
}

} // namespace TellumoStrings

QString tellumoLocalized(const QString &key, const QString &language)
{
    const QString chosen = TellumoStrings::languages().contains(language) ? language : Kivaro::StringTable::language();
    return cachedTable(chosen).value(key, key);
}

namespace {

QString formatInChosenLanguage(const QString &format, const QList<QVariant> &values)
{
    const QString language = Platform::UserDefaults::standard().string(QStringLiteral("language")).value_or(QStringLiteral("system"));
    return Kivaro::formatWithLocale(tellumoLocalized(format, language), values, QLocale());
}

} // namespace

QString tellumoLocalizedFormat(const QString &format, std::initializer_list<Kivaro::FormatArgument> arguments)
{
    QList<QVariant> values;
    values.reserve(qsizetype(arguments.size()));
    for (const Kivaro::FormatArgument &argument : arguments)
        values.append(argument.value());
    return formatInChosenLanguage(format, values);
}

QString tellumoErrorText(const TellumoError &error)
{
    return Kivaro::withLibraryDetail(formatInChosenLanguage(error.key(), error.arguments()), error.detail());
}

} // namespace Tellumo
