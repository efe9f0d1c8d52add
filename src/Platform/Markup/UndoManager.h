#pragma once
// The undo manager of a canvas and its document.
//
// Semantics (those the document's undo protocol relies on):
// - Actions are registered into groups; one group is one undo step. With grouping by event
//   on, the first registration outside any group opens a group that closes when control
//   returns to the event loop, so everything one event registers is one step. Explicit
//   `beginUndoGrouping`/`endUndoGrouping` pairs nest; `groupingLevel` counts the open groups.
//   A group that closes empty is dropped.
// - `undo()` closes the open event group first, then performs the top group's actions in
//   reverse order. Whatever is registered while undoing becomes the redo step, and whatever is
//   registered while redoing becomes an undo step again, each named like the step it came from.
// - A registration that is neither undoing nor redoing clears the redo steps.
// - `setActionName` names the innermost open group, or the last step when none is open.
// - Registration can be disabled (counted, like nested pairs); `removeAllActions` forgets
//   every step and open group and enables registration.
//
// QUndoStack is not used: it has no grouping by event, no registration while undoing (its
// commands undo themselves), and no disabling.

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace Platform {

class UndoManager final : public QObject {
    Q_OBJECT
public:
    explicit UndoManager(QObject *parent = nullptr);

    bool groupsByEvent() const { return m_groupsByEvent; }
    void setGroupsByEvent(bool on) { m_groupsByEvent = on; }
    int groupingLevel() const { return int(m_open.size()); }
    void beginUndoGrouping();
    void endUndoGrouping();

    // `target` identifies the actions' owner for removeAllActions(target).
    void registerUndo(std::function<void()> action, const void *target = nullptr);
    void setActionName(const QString &name);

    bool canUndo() const;
    bool canRedo() const { return !m_redo.isEmpty(); }
    QString undoActionName() const;
    QString redoActionName() const;
    int undoCount() const;
    int redoCount() const { return int(m_redo.size()); }
    void undo();
    void redo();
    bool isUndoing() const { return m_undoing; }
    bool isRedoing() const { return m_redoing; }

    void disableUndoRegistration() { ++m_disabled; }
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const { return m_disabled == 0; }

    void removeAllActions();
    void removeAllActions(const void *target);

Q_SIGNALS:
    // The steps, their names or the open groups changed.
    void changed();

private:
    struct Action {
        std::function<void()> perform;
        const void *target = nullptr;
    };
    struct Group {
        QList<Action> actions;
        QString name;
    };
    void scheduleEventGroupEnd();
    void perform(QList<Group> &from, bool undoing);

    QList<Group> m_undo;
    QList<Group> m_redo;
    QList<Group> m_open;
    bool m_groupsByEvent = true;
    bool m_eventGroupOpen = false;
    bool m_undoing = false;
    bool m_redoing = false;
    int m_disabled = 0;
    quint64 m_generation = 0;
};

} // namespace Platform
