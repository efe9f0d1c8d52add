#pragma once
// The sharing services of a freedesktop desktop: the application entries found under
// $XDG_DATA_HOME/applications and each $XDG_DATA_DIRS/applications (the first entry of an id
// wins) whose MimeType list holds the file's type, one of its aliases or ancestors, or a
// matching "type/*". Hidden, NoDisplay and terminal entries, entries whose TryExec program is
// missing and entries not shown in the current desktop are left out. The defaults of
// mimeapps.list come first, then the rest by title.

#include "Platform/Sharing/DesktopEntry.h"
#include "Platform/Sharing/SharingServices.h"

#include <QHash>
#include <QObject>

#include <memory>
#include <vector>

namespace Platform {

namespace detail {
class ProcessExitWatcher;
}

class DesktopApplications final : public QObject, public SharingServices {
    Q_OBJECT
public:
    struct Options {
        // Tried in order for localised names ("zh_CN", "zh"); empty: from LANGUAGE, LC_ALL,
        // LC_MESSAGES or LANG.
        QStringList locales;
        // Data folders holding "applications", most important first; empty: $XDG_DATA_HOME
        // then $XDG_DATA_DIRS.
        QStringList dataFolders;
        // Folders holding "mimeapps.list", most important first; empty: $XDG_CONFIG_HOME then
        // $XDG_CONFIG_DIRS.
        QStringList configFolders;
    };

    explicit DesktopApplications(Options options = {}, QObject *parent = nullptr);
    ~DesktopApplications() override;

    QList<SharingService> servicesFor(const QString &filePath) override;
    std::optional<SharingService> service(const QString &name) override;
    void perform(const SharingService &service, const QString &filePath, std::function<void(std::optional<LaunchFailure>)> started,
                 std::function<void()> ended) override;

    // Locale keys for localised entry values derived from the environment.
    static QStringList environmentLocales();

private:
    QList<DesktopEntry> entries() const;
    std::optional<DesktopEntry> entry(const QString &id) const;
    SharingService toService(const DesktopEntry &entry) const;

    QStringList applicationFolders() const;
    QHash<QString, QStringList> defaultApplications() const;

    Options m_options;
    std::vector<std::unique_ptr<detail::ProcessExitWatcher>> m_watchers;
};

} // namespace Platform
