#pragma once
// What a task waiting for one libsecret call awaits: `finished` is emitted once, when libsecret
// answers or the store gives up on it.

#include <QObject>

namespace Tellumo {

class SecretServiceCall final : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void finished();
};

} // namespace Tellumo
