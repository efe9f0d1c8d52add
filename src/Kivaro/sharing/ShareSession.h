#pragma once
// One share in progress, made by SharePresenter::present: the prepared file, the menu of the
// applications that take it, anchored at a view, and the outcome, reported exactly once.
//
// It ends when the menu closes without a choice, when the chosen application has started (it
// reads the file whenever it likes) or when it could not start (the share's error). Readers
// are the presenter and inspection by tests and verification runs.

#include "Platform/Sharing/SharingServices.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>

namespace Kivaro {

class SharePresenter;

class ShareSession final : public QObject {
    Q_OBJECT
public:
    ~ShareSession() override;

    const QString &file() const { return m_file; }
    QWidget *anchor() const { return m_anchor; }
    bool isCompleted() const { return m_completed; }
    bool hasChosenService() const { return m_chosenService; }
    // The titles of the services offered, in menu order; filled when the menu is shown.
    const QStringList &serviceTitles() const { return m_serviceTitles; }
    // The menu while it exists (for inspection).
    QMenu *menu() const { return m_menu; }

private:
    friend class SharePresenter;
    using Completion = std::function<void(std::exception_ptr)>;

    ShareSession(SharePresenter &presenter, QString file, QWidget *anchor, Completion completion);

    void show();
    void perform(const Platform::SharingService &service);
    // Ends the share once: schedules the folder's removal (after the started application's
    // exit when `handedOver`) and calls the completion.
    void finish(std::exception_ptr error, bool handedOver = false);
    QString folder() const;

    QPointer<SharePresenter> m_presenter;
    QString m_file;
    QPointer<QWidget> m_anchor;
    Completion m_completion;
    bool m_completed = false;
    bool m_chosenService = false;
    QStringList m_serviceTitles;
    QPointer<QMenu> m_menu;
};

} // namespace Kivaro
