#include "Platform/Dialogs/ScriptedFilePanels.h"

#include "Platform/Dialogs/internal/DialogWaits.h"

namespace Platform {

ScriptedFilePanels::ScriptedFilePanels(QObject *parent) : QObject(parent) {}

Task<std::optional<QString>> ScriptedFilePanels::chooseFileToOpen(QWidget *parent, OpenPanelOptions options)
{
    m_requests.append(Request{Kind::open, std::move(options), {}, parent != nullptr});
    Q_EMIT panelShown();
    co_return co_await detail::takeScriptedAnswer(this, &m_answers, &m_waiting, &ScriptedFilePanels::answersChanged);
}

Task<std::optional<QString>> ScriptedFilePanels::chooseSaveLocation(QWidget *parent, SavePanelOptions options)
{
    m_requests.append(Request{Kind::save, {}, std::move(options), parent != nullptr});
    Q_EMIT panelShown();
    co_return co_await detail::takeScriptedAnswer(this, &m_answers, &m_waiting, &ScriptedFilePanels::answersChanged);
}

void ScriptedFilePanels::answer(std::optional<QString> path)
{
    m_answers.push_back(std::move(path));
    Q_EMIT answersChanged();
}

} // namespace Platform
