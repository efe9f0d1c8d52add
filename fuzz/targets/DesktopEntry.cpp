#include "FuzzTargets.h"

#include "Platform/Sharing/DesktopEntry.h"

#include <QUrl>

namespace Kivaro::Fuzz {

int fuzzDesktopEntry(const uint8_t *data, size_t size)
{
    const QString path = scratchFolder() + QStringLiteral("/input.desktop");
    check(writeScratchFile(path, data, size), "the desktop entry can be written");
    const auto entry = Platform::DesktopEntry::parse(path, QStringLiteral("input.desktop"), {QStringLiteral("zh_CN"), QStringLiteral("zh")});
    if (!entry)
        return 0;
    // Shared files live in a private folder under a name the user chose: spaces, quotes,
    // percent signs, shell syntax and any script.
    const QString files[] = {
        QStringLiteral("/tmp/Kivaro-share-1/shot.png"),
        QStringLiteral("/tmp/Kivaro share/\"it's\" $HOME `id` %f %u %% \\;.png"),
        QStringLiteral("/tmp/Kivaro-share-2/截图 2024-01-01 下午3.00.00.png"),
    };
    for (const QString &file : files) {
        const auto command = entry->command(file);
        if (!command)
            continue;
        check(!command->isEmpty() && !command->first().isEmpty(), "a command has a program");
        const QString url = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
        bool hasFile = false;
        for (const QString &argument : *command)
            hasFile = hasFile || argument.contains(file) || argument.contains(url);
        check(hasFile, "a command hands over the file");
    }
    return 0;
}

} // namespace Kivaro::Fuzz
