#include "Platform/Sharing/DesktopEntry.h"

#include "Platform/Files/RegularFile.h"

#include <QHash>
#include <QUrl>

namespace Platform {

namespace {

// Desktop entries are small; anything this large is not one.
constexpr qint64 kMaxEntryBytes = 256 * 1024;

// The general escapes of string values: \s \n \t \r \\ (and \; inside lists, kept for split).
QString unescape(QStringView value, bool keepSemicolonEscape)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 >= value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'\\':
            out += u'\\';
            break;
        case u';':
            out += keepSemicolonEscape ? QStringLiteral("\\;") : QStringLiteral(";");
            break;
        default:
            out += u'\\';
            out += next;
            break;
        }
    }
    return out;
}

QStringList splitList(QStringView value)
{
    QStringList items;
    QString current;
    const QString text = unescape(value, true);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u';') {
            current += u';';
            ++i;
        } else if (text[i] == u';') {
            items << current;
            current.clear();
        } else {
            current += text[i];
        }
    }
    if (!current.isEmpty())
        items << current;
    items.removeAll(QString());
    return items;
}

bool isTrue(const QString &value)
{
    return value.trimmed() == QStringLiteral("true");
}

// Splits an Exec value (already unescaped once) into arguments by the entry quoting rules.
std::optional<QStringList> splitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inQuotes = false, haveArgument = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size() && QStringView(u"\"`$\\").contains(exec[i + 1])) {
                current += exec[++i];
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            haveArgument = true;
        } else if (c == u' ' || c == u'\t') {
            if (haveArgument)
                arguments << current;
            current.clear();
            haveArgument = false;
        } else {
            current += c;
            haveArgument = true;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (haveArgument)
        arguments << current;
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return std::nullopt;
    return arguments;
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::parse(const QString &path, const QString &id, const QStringList &locales)
{
    // Entries are often links into another folder; what they lead to must be a regular file
    // (a FIFO would block the listing of every application for ever).
    const FileBytes file = readRegularFile(path, kMaxEntryBytes, FollowLinks::Yes);
    if (!file.ok())
        return std::nullopt;
    auto entry = parseText(QString::fromUtf8(file.bytes), id, locales);
    if (entry)
        entry->path = path;
    return entry;
}

std::optional<DesktopEntry> DesktopEntry::parseText(const QString &text, const QString &id, const QStringList &locales)
{
    QHash<QString, QString> values;
    bool inEntryGroup = false, sawGroup = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntryGroup = line == u"[Desktop Entry]";
            sawGroup = sawGroup || inEntryGroup;
            continue;
        }
        if (!inEntryGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toString();
        if (!values.contains(key)) // the first occurrence of a key counts
            values.insert(key, line.mid(equals + 1).trimmed().toString());
    }
    if (!sawGroup)
        return std::nullopt;

    const auto localised = [&](const QString &key) {
        for (const QString &locale : locales) {
            const auto it = values.constFind(key + u'[' + locale + u']');
            if (it != values.cend())
                return unescape(*it, false);
        }
        return unescape(values.value(key), false);
    };

    DesktopEntry entry;
    entry.id = id;
    entry.isApplication = values.value(QStringLiteral("Type")) == QStringLiteral("Application");
    entry.name = localised(QStringLiteral("Name"));
    entry.icon = localised(QStringLiteral("Icon"));
    entry.exec = unescape(values.value(QStringLiteral("Exec")), false);
    entry.tryExec = unescape(values.value(QStringLiteral("TryExec")), false);
    entry.mimeTypes = splitList(values.value(QStringLiteral("MimeType")));
    entry.onlyShowIn = splitList(values.value(QStringLiteral("OnlyShowIn")));
    entry.notShowIn = splitList(values.value(QStringLiteral("NotShowIn")));
    entry.noDisplay = isTrue(values.value(QStringLiteral("NoDisplay")));
    entry.hidden = isTrue(values.value(QStringLiteral("Hidden")));
    entry.terminal = isTrue(values.value(QStringLiteral("Terminal")));
    return entry;
}

std::optional<QStringList> DesktopEntry::command(const QString &filePath) const
{
    const auto split = splitExec(exec);
    if (!split)
        return std::nullopt;
    const QString fileUrl = QUrl::fromLocalFile(filePath).toString(QUrl::FullyEncoded);
    QStringList out;
    bool placedFile = false;
    for (const QString &argument : *split) {
        // Codes that stand alone expand to whole arguments (or to none).
        if (argument == QStringLiteral("%f") || argument == QStringLiteral("%F")) {
            out << filePath;
            placedFile = true;
            continue;
        }
        if (argument == QStringLiteral("%u") || argument == QStringLiteral("%U")) {
            out << fileUrl;
            placedFile = true;
            continue;
        }
        if (argument == QStringLiteral("%i")) {
            if (!icon.isEmpty())
                out << QStringLiteral("--icon") << icon;
            continue;
        }
        QString expanded;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] != u'%' || i + 1 >= argument.size()) {
                expanded += argument[i];
                continue;
            }
            const QChar code = argument[++i];
            switch (code.unicode()) {
            case u'%':
                expanded += u'%';
                break;
            case u'f':
            case u'F':
                expanded += filePath;
                placedFile = true;
                break;
            case u'u':
            case u'U':
                expanded += fileUrl;
                placedFile = true;
                break;
            case u'c':
                expanded += name;
                break;
            case u'k':
                expanded += path;
                break;
            default: // %i inside an argument, deprecated and unknown codes vanish
                break;
            }
        }
        if (!expanded.isEmpty() || !argument.contains(u'%'))
            out << expanded;
    }
    if (out.isEmpty() || out.first().isEmpty())
        return std::nullopt;
    if (!placedFile)
        out << filePath;
    return out;
}

} // namespace Platform
