#pragma once
// A sharing registry with a fixed list of services, for tests and verification runs: it
// records every perform and lets the caller decide whether a start fails and when the started
// application ends.

#include "Platform/Sharing/SharingServices.h"

#include <QHash>
#include <QObject>

namespace Platform {

class FixedSharingServices final : public QObject, public SharingServices {
    Q_OBJECT
public:
    struct Performed {
        QString service;
        QString filePath;
    };

    explicit FixedSharingServices(QList<SharingService> services, QObject *parent = nullptr);

    QList<SharingService> servicesFor(const QString &filePath) override;
    std::optional<SharingService> service(const QString &name) override;
    void perform(const SharingService &service, const QString &filePath, std::function<void(std::optional<LaunchFailure>)> started,
                 std::function<void()> ended) override;

    // The next perform of `name` fails to start for `cause`.
    void failNextStart(const QString &name, LaunchFailure cause);
    // Ends every started application (calls the pending `ended` callbacks).
    void endAll();
    const QList<Performed> &performed() const { return m_performed; }

private:
    QList<SharingService> m_services;
    QHash<QString, LaunchFailure> m_failures;
    QList<Performed> m_performed;
    QList<std::function<void()>> m_running;
};

} // namespace Platform
