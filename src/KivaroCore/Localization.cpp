#include "KivaroCore/Localization.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <optional>

namespace Kivaro {

namespace {

struct LoadedTable {
    QString language;
    QHash<QString, QString> entries;
};

QString &languageOverride()
{
    static QString language;
    return language;
}

std::optional<LoadedTable> &cachedTable()
{
    static std::optional<LoadedTable> table;
    return table;
}

// Maps one preferred-language entry to a table language, or an empty text when we ship none.
QString tableLanguage(QString entry)
{
    entry = entry.trimmed();
    const qsizetype cut = entry.indexOf(QRegularExpression(QStringLiteral("[.@]")));
    if (cut >= 0)
        entry.truncate(cut);
    entry.replace(QLatin1Char('_'), QLatin1Char('-'));
    entry = entry.toLower();
    if (entry.isEmpty() || entry == QStringLiteral("c") || entry == QStringLiteral("posix"))
        return {};
    const QStringList parts = entry.split(QLatin1Char('-'));
    if (parts.first() == QStringLiteral("zh")) {
        const bool traditional = parts.contains(QStringLiteral("hant")) || parts.contains(QStringLiteral("tw"))
            || parts.contains(QStringLiteral("hk")) || parts.contains(QStringLiteral("mo"));
        return traditional ? QStringLiteral("zh-Hant") : QStringLiteral("zh-Hans");
    }
    if (parts.first() == QStringLiteral("en"))
        return QStringLiteral("en");
    return {};
}

const LoadedTable &currentTable()
{
    const QString language = StringTable::language();
    auto &cached = cachedTable();
    if (!cached || cached->language != language)
        cached = LoadedTable{language, StringTable::table(language)};
    return *cached;
}

QString lookUp(const QString &key)
{
    const auto &entries = currentTable().entries;
    auto it = entries.constFind(key);
    return it == entries.cend() || it->isEmpty() ? key : *it;
}

QString padded(QString text, int width, bool leftAlign, QChar fill)
{
    if (width <= text.size())
        return text;
    const QString padding(width - text.size(), fill);
    if (leftAlign)
        return text + QString(width - text.size(), QLatin1Char(' '));
    if (fill == QLatin1Char('0') && (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))))
        return text.left(1) + padding + text.mid(1);
    return padding + text;
}

QString objectText(const QVariant &value)
{
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

} // namespace

QString formatWithLocale(const QString &format, const QList<QVariant> &arguments, const QLocale &locale)
{
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    QString out;
    out.reserve(format.size() + 16);
    qsizetype next = 0; // the next sequential argument
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c != QLatin1Char('%')) {
            out += c;
            continue;
        }
        qsizetype j = i + 1;
        if (j < n && format[j] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            i = j;
            continue;
        }
        // Optional position: digits followed by '$'.
        qsizetype position = -1;
        {
            qsizetype k = j;
            int value = 0;
            while (k < n && format[k].isDigit() && value < 1000)
                value = value * 10 + format[k++].digitValue();
            if (k > j && k < n && format[k] == QLatin1Char('$')) {
                position = value - 1;
                j = k + 1;
            }
        }
        bool leftAlign = false, plus = false, zero = false;
        for (; j < n; ++j) {
            const QChar f = format[j];
            if (f == QLatin1Char('-'))
                leftAlign = true;
            else if (f == QLatin1Char('+'))
                plus = true;
            else if (f == QLatin1Char('0'))
                zero = true;
            else if (f != QLatin1Char(' ') && f != QLatin1Char('#') && f != QLatin1Char('\''))
                break;
        }
        int width = 0;
        while (j < n && format[j].isDigit() && width < 1000)
            width = width * 10 + format[j++].digitValue();
        int precision = -1;
        if (j < n && format[j] == QLatin1Char('.')) {
            precision = 0;
            ++j;
            while (j < n && format[j].isDigit() && precision < 100)
                precision = precision * 10 + format[j++].digitValue();
        }
        while (j < n && QStringView(u"hlqLzjt").contains(format[j]))
            ++j;
        if (j >= n) { // a dangling '%' is kept as written
            out += format.mid(i);
            break;
        }
        const QChar conversion = format[j];
        const qsizetype index = position >= 0 ? position : next++;
        const QVariant argument = index < arguments.size() ? arguments[index] : QVariant();
        QString text;
        switch (conversion.unicode()) {
        case u'@':
        case u's':
            text = objectText(argument);
            break;
        case u'd':
        case u'i':
            text = QString::number(argument.toLongLong());
            if (plus && argument.toLongLong() >= 0)
                text.prepend(QLatin1Char('+'));
            break;
        case u'u':
            text = QString::number(argument.toULongLong());
            break;
        case u'x':
            text = QString::number(argument.toULongLong(), 16);
            break;
        case u'X':
            text = QString::number(argument.toULongLong(), 16).toUpper();
            break;
        case u'o':
            text = QString::number(argument.toULongLong(), 8);
            break;
        case u'c':
            text = QChar(char16_t(argument.toUInt()));
            break;
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G': {
            const char form = char(conversion.toLatin1());
            text = numbers.toString(argument.toDouble(), form == 'F' ? 'f' : form, precision < 0 ? 6 : precision);
            if (plus && argument.toDouble() >= 0)
                text.prepend(QLatin1Char('+'));
            break;
        }
        default: // unknown conversions are kept as written
            text = format.mid(i, j - i + 1);
            if (position < 0)
                --next;
            break;
        }
        out += padded(text, width, leftAlign, zero && !leftAlign ? QLatin1Char('0') : QLatin1Char(' '));
        i = j;
    }
    return out;
}

QString withLibraryDetail(const QString &message, const QString &detail)
{
    if (detail.isEmpty())
        return message;
    return kivaroFormat("%@：%@", message, detail.trimmed());
}

QString kivaroCopy(const QString &key)
{
    return lookUp(key);
}

QString kivaroFormat(const QString &format, std::initializer_list<FormatArgument> arguments)
{
    QList<QVariant> values;
    values.reserve(qsizetype(arguments.size()));
    for (const FormatArgument &argument : arguments)
        values.append(argument.value());
    return formatWithLocale(lookUp(format), values, QLocale());
}

namespace StringTable {

QStringList preferredLanguages()
{
    QStringList list;
    const QString language = qEnvironmentVariable("LANGUAGE");
    if (!language.isEmpty())
        list += language.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            list += value;
    }
    list += QLocale::system().uiLanguages();
    return list;
}

QString languageFor(const QStringList &preferred)
{
    for (const QString &entry : preferred) {
        const QString language = tableLanguage(entry);
        if (!language.isEmpty())
            return language;
    }
    return QStringLiteral("en");
}

QString language()
{
    const QString &forced = languageOverride();
    if (!forced.isEmpty())
        return languageFor({forced});
    // The environment does not change while we run; the lookup sits on paint paths.
    static const QString fromEnvironment = languageFor(preferredLanguages());
    return fromEnvironment;
}

void overrideLanguage(const QString &language)
{
    languageOverride() = language;
}

QHash<QString, QString> table(const QString &language)
{
    QHash<QString, QString> entries;
    if (language == QStringLiteral("zh-Hans"))
        return entries;
    // Each library ships its own part of the table; together they are the table "Kivaro".
    const QDir folder(QStringLiteral(":/kivaro/strings/%1").arg(language));
    for (const QString &name : folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        for (auto it = object.begin(); it != object.end(); ++it)
            if (it.value().isString())
                entries.insert(it.key(), it.value().toString());
    }
    return entries;
}

} // namespace StringTable

} // namespace Kivaro
