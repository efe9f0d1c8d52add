#include "Platform/Sharing/FixedSharingServices.h"

#include <QTimer>

namespace Platform {

FixedSharingServices::FixedSharingServices(QList<SharingService> services, QObject *parent)
    : QObject(parent), m_services(std::move(services))
{
}

QList<SharingService> FixedSharingServices::servicesFor(const QString &)
{
    return m_services;
}

std::optional<SharingService> FixedSharingServices::service(const QString &name)
{
    for (const SharingService &candidate : m_services)
        if (candidate.name == name)
            return candidate;
    return std::nullopt;
}

void FixedSharingServices::perform(const SharingService &service, const QString &filePath,
                                   std::function<void(std::optional<LaunchFailure>)> started, std::function<void()> ended)
{
    m_performed << Performed{service.name, filePath};
    std::optional<LaunchFailure> error;
    if (m_failures.contains(service.name))
        error = m_failures.take(service.name);
    else if (ended)
        m_running << ended;
    QTimer::singleShot(0, this, [started, error] { started(error); });
}

void FixedSharingServices::failNextStart(const QString &name, LaunchFailure cause)
{
    m_failures.insert(name, cause);
}

void FixedSharingServices::endAll()
{
    const auto running = std::move(m_running);
    m_running.clear();
    for (const auto &ended : running)
        ended();
}

} // namespace Platform
