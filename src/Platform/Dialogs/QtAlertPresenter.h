#pragma once
// AlertPresenter over QMessageBox opened with open() (never exec()); the task waits for its
// finished signal. A cancelled task closes the box; the box is deleted later, never while
// awaited.

#include "Platform/Dialogs/AlertPresenter.h"

#include <QObject>
#include <QPointer>

#include <QMessageBox>

namespace Platform {

class QtAlertPresenter final : public QObject, public AlertPresenter {
    Q_OBJECT
public:
    explicit QtAlertPresenter(QObject *parent = nullptr);

    Task<AlertResponse> present(QWidget *parent, Alert alert) override;

    // The box on screen while a task waits for it, or null.
    QMessageBox *currentBox() const { return m_current; }

Q_SIGNALS:
    void alertShown(QMessageBox *box);

private:
    QPointer<QMessageBox> m_current;
};

} // namespace Platform
