#include "Platform/Dialogs/QtAlertPresenter.h"

#include "Platform/Dialogs/internal/DialogWaits.h"

#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>

namespace Platform {

namespace {

QMessageBox::Icon iconOf(AlertStyle style)
{
    switch (style) {
    case AlertStyle::informational:
        return QMessageBox::Information;
    case AlertStyle::critical:
        return QMessageBox::Critical;
    case AlertStyle::warning:
        break;
    }
    return QMessageBox::Warning;
}

} // namespace

QtAlertPresenter::QtAlertPresenter(QObject *parent) : QObject(parent) {}

Task<AlertResponse> QtAlertPresenter::present(QWidget *parent, Alert alert)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(iconOf(alert.style));
    box->setText(alert.message);
    box->setInformativeText(alert.informativeText);
    QList<QAbstractButton *> buttons;
    for (int i = 0; i < alert.buttons.size(); ++i) {
        QMessageBox::ButtonRole role = QMessageBox::ActionRole;
        if (i == alert.cancelButton)
            role = QMessageBox::RejectRole;
        else if (i == 0)
            role = QMessageBox::AcceptRole;
        buttons.append(box->addButton(alert.buttons.at(i), role));
    }
    if (!buttons.isEmpty())
        box->setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
    if (alert.cancelButton >= 0 && alert.cancelButton < buttons.size())
        box->setEscapeButton(buttons.at(alert.cancelButton));

    detail::DialogDisposer disposer(box);
    QPointer<QMessageBox> guard(box);
    QPointer<QtAlertPresenter> self(this);
    m_current = box;
    auto clearCurrent = qScopeGuard([&] {
        if (self && m_current == guard)
            m_current = nullptr;
    });
    // Named first: GCC 12 destroys a temporary lambda inside a co_await expression twice.
    std::function<void()> announce = [self, guard] {
        if (self && guard && self->m_current == guard)
            Q_EMIT self->alertShown(guard);
    };
    co_await detail::openAndWait(box, std::move(announce));
    AlertResponse response;
    response.button = alert.cancelButton >= 0 ? alert.cancelButton : 0;
    if (guard) {
        const qsizetype index = buttons.indexOf(guard->clickedButton());
        if (index >= 0)
            response.button = int(index);
    }
    co_return response;
}

} // namespace Platform
