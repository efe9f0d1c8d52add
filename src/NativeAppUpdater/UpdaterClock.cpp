#include "NativeAppUpdater/UpdaterClock.h"

#include <QDateTime>
#include <QTimer>

namespace NativeAppUpdater {

namespace {

class TimerCall final : public ScheduledCall {
public:
    TimerCall(double seconds, bool repeating, std::function<void()> fire) : m_fire(std::move(fire))
    {
        m_timer.setTimerType(Qt::CoarseTimer);
        m_timer.setSingleShot(!repeating);
        m_timer.setInterval(std::chrono::milliseconds(qint64(seconds * 1000.0 + 0.5)));
        // A copy runs, so that the call may end its own schedule.
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            auto fire = m_fire;
            fire();
        });
        m_timer.start();
    }

private:
    std::function<void()> m_fire;
    QTimer m_timer;
};

class SystemClock final : public UpdaterClock {
public:
    double now() const override { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }
    std::unique_ptr<ScheduledCall> schedule(double seconds, bool repeating, std::function<void()> fire) override
    {
        return std::make_unique<TimerCall>(seconds, repeating, std::move(fire));
    }
};

} // namespace

std::shared_ptr<UpdaterClock> systemUpdaterClock()
{
    return std::make_shared<SystemClock>();
}

} // namespace NativeAppUpdater
