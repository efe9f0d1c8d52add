#include "Platform/Markup/UndoManager.h"

#include <QTimer>

namespace Platform {

UndoManager::UndoManager(QObject *parent) : QObject(parent)
{
}

void UndoManager::beginUndoGrouping()
{
    m_open.append(Group{});
    Q_EMIT changed();
}

void UndoManager::endUndoGrouping()
{
    if (m_open.isEmpty())
        return;
    Group group = m_open.takeLast();
    if (m_open.isEmpty())
        m_eventGroupOpen = false;
    if (!m_open.isEmpty()) {
        Group &parent = m_open.last();
        parent.actions.append(group.actions);
        if (!group.name.isEmpty())
            parent.name = group.name;
    } else if (!group.actions.isEmpty()) {
        (m_undoing ? m_redo : m_undo).append(std::move(group));
    }
    Q_EMIT changed();
}

void UndoManager::scheduleEventGroupEnd()
{
    m_eventGroupOpen = true;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation && m_eventGroupOpen && m_open.size() == 1)
            endUndoGrouping();
    });
}

void UndoManager::registerUndo(std::function<void()> action, const void *target)
{
    if (m_disabled > 0 || !action)
        return;
    if (!m_undoing && !m_redoing)
        m_redo.clear();
    if (m_open.isEmpty()) {
        beginUndoGrouping();
        if (m_groupsByEvent && !m_undoing && !m_redoing) {
            scheduleEventGroupEnd();
        } else {
            m_open.last().actions.append(Action{std::move(action), target});
            endUndoGrouping();
            return;
        }
    }
    m_open.last().actions.append(Action{std::move(action), target});
    Q_EMIT changed();
}

void UndoManager::setActionName(const QString &name)
{
    if (!m_open.isEmpty())
        m_open.last().name = name;
    else if (QList<Group> &steps = m_undoing ? m_redo : m_undo; !steps.isEmpty())
        steps.last().name = name;
    Q_EMIT changed();
}

bool UndoManager::canUndo() const
{
    return undoCount() > 0;
}

int UndoManager::undoCount() const
{
    // An open event group with actions is a step the next undo closes and undoes.
    const bool pending = m_open.size() == 1 && !m_open.first().actions.isEmpty() && !m_undoing && !m_redoing;
    return int(m_undo.size()) + (pending ? 1 : 0);
}

QString UndoManager::undoActionName() const
{
    if (m_open.size() == 1 && !m_open.first().actions.isEmpty() && !m_undoing && !m_redoing)
        return m_open.first().name;
    return m_undo.isEmpty() ? QString() : m_undo.last().name;
}

QString UndoManager::redoActionName() const
{
    return m_redo.isEmpty() ? QString() : m_redo.last().name;
}

void UndoManager::perform(QList<Group> &from, bool undoing)
{
    if (m_undoing || m_redoing || m_open.size() > 1)
        return;
    if (m_open.size() == 1)
        endUndoGrouping();
    if (from.isEmpty())
        return;
    const Group group = from.takeLast();
    (undoing ? m_undoing : m_redoing) = true;
    beginUndoGrouping();
    m_open.last().name = group.name;
    for (qsizetype k = group.actions.size() - 1; k >= 0; --k)
        group.actions.at(k).perform();
    endUndoGrouping();
    (undoing ? m_undoing : m_redoing) = false;
    Q_EMIT changed();
}

void UndoManager::undo()
{
    perform(m_undo, true);
}

void UndoManager::redo()
{
    perform(m_redo, false);
}

void UndoManager::enableUndoRegistration()
{
    if (m_disabled > 0)
        --m_disabled;
}

void UndoManager::removeAllActions()
{
    m_undo.clear();
    m_redo.clear();
    m_open.clear();
    m_eventGroupOpen = false;
    m_disabled = 0;
    ++m_generation;
    Q_EMIT changed();
}

void UndoManager::removeAllActions(const void *target)
{
    auto strip = [target](QList<Group> &groups) {
        for (Group &group : groups)
            group.actions.removeIf([target](const Action &a) { return a.target == target; });
        groups.removeIf([](const Group &g) { return g.actions.isEmpty(); });
    };
    strip(m_undo);
    strip(m_redo);
    Q_EMIT changed();
}

} // namespace Platform
