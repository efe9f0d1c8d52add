#include "Platform/Dialogs/ScriptedAlertPresenter.h"

#include "Platform/Dialogs/internal/DialogWaits.h"

namespace Platform {

ScriptedAlertPresenter::ScriptedAlertPresenter(QObject *parent) : QObject(parent) {}

void ScriptedAlertPresenter::answer(int button)
{
    m_answers.push_back(button);
    Q_EMIT answersChanged();
}

Task<AlertResponse> ScriptedAlertPresenter::present(QWidget *, Alert alert)
{
    m_alerts.append(std::move(alert));
    Q_EMIT alertShown();
    AlertResponse response;
    response.button = co_await detail::takeScriptedAnswer(this, &m_answers, &m_waiting, &ScriptedAlertPresenter::answersChanged);
    co_return response;
}

} // namespace Platform
