#pragma once
// AlertPresenter for tests: records every alert and answers from a queue. An alert presented
// with no answer queued waits until `answer()`; cancelling its task ends it with
// CancellationError. The double must outlive the tasks it has been asked for.

#include "Platform/Dialogs/AlertPresenter.h"

#include <QList>
#include <QObject>

#include <deque>

namespace Platform {

class ScriptedAlertPresenter final : public QObject, public AlertPresenter {
    Q_OBJECT
public:
    explicit ScriptedAlertPresenter(QObject *parent = nullptr);

    Task<AlertResponse> present(QWidget *parent, Alert alert) override;

    // Queues the answer of the next alert, or answers the alert waiting now.
    void answer(int button);
    const QList<Alert> &alerts() const { return m_alerts; }
    int waitingCount() const { return m_waiting; }
    int queuedCount() const { return int(m_answers.size()); }

Q_SIGNALS:
    void alertShown();
    void answersChanged();

private:
    QList<Alert> m_alerts;
    std::deque<int> m_answers;
    int m_waiting = 0;
};

} // namespace Platform
