#pragma once
// The parts of a freedesktop.org desktop entry ("[Desktop Entry]" group) that sharing needs,
// and the expansion of its Exec line for one file.

#include <QString>
#include <QStringList>

#include <optional>

namespace Platform {

struct DesktopEntry {
    QString id;       // file name relative to the applications folder, '/' replaced by '-'
    QString path;     // the file it was read from
    QString name;     // Name, localised for the locales given to parse()
    QString icon;     // Icon: a theme name or an absolute path
    QString exec;     // Exec, unexpanded
    QString tryExec;  // TryExec
    QStringList mimeTypes;
    QStringList onlyShowIn;
    QStringList notShowIn;
    bool noDisplay = false;
    bool hidden = false;
    bool terminal = false;
    bool isApplication = false;

    // Reads an entry; nothing when the file is unreadable, too large, not a regular file
    // (links followed) or has no entry group.
    // `locales` are tried in order for localised keys ("zh_CN", "zh", ...).
    static std::optional<DesktopEntry> parse(const QString &path, const QString &id, const QStringList &locales);
    // Parses the text of an entry (for tests and for parse()).
    static std::optional<DesktopEntry> parseText(const QString &text, const QString &id, const QStringList &locales);

    // The program and arguments that open `filePath`: field codes %f %F %u %U become the file
    // (as a path or a file URL), %i the icon option, %c the name, %k the entry's path, %% a
    // percent sign; deprecated codes vanish. Without a file code the file is appended. Nothing
    // when the line cannot be split (an unterminated quote, an empty program).
    std::optional<QStringList> command(const QString &filePath) const;
};

} // namespace Platform
