#pragma once
// FilePanels for tests: records every request and answers from a queue.
//
// A request takes the oldest queued answer. When none is queued it stays "shown" until
// `answer()` is called, so a test can act while a panel is open; cancelling its task ends it
// with CancellationError. An answer is a path, or nothing for a cancelled panel. The double must
// outlive the tasks it has been asked for.

#include "Platform/Dialogs/FilePanels.h"

#include <QList>
#include <QObject>

#include <deque>

namespace Platform {

class ScriptedFilePanels final : public QObject, public FilePanels {
    Q_OBJECT
public:
    enum class Kind { open, save };
    struct Request {
        Kind kind = Kind::open;
        OpenPanelOptions open;  // set for Kind::open
        SavePanelOptions save;  // set for Kind::save
        bool hadParent = false;
    };

    explicit ScriptedFilePanels(QObject *parent = nullptr);

    Task<std::optional<QString>> chooseFileToOpen(QWidget *parent, OpenPanelOptions options) override;
    Task<std::optional<QString>> chooseSaveLocation(QWidget *parent, SavePanelOptions options) override;

    // Queues the answer of the next panel, or answers the panel waiting now.
    void answer(std::optional<QString> path);
    const QList<Request> &requests() const { return m_requests; }
    // Panels shown and not answered yet.
    int waitingCount() const { return m_waiting; }
    int queuedCount() const { return int(m_answers.size()); }

Q_SIGNALS:
    void panelShown();
    void answersChanged();

private:
    QList<Request> m_requests;
    std::deque<std::optional<QString>> m_answers;
    int m_waiting = 0;
};

} // namespace Platform
