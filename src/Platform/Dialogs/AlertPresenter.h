#pragma once
// Alerts with a completion: a message box shown window-modal over its parent, answered later.
//
// `present` returns the index of the chosen button (0 is the first, the default button, which
// Return chooses). Escape and the window's close button choose `cancelButton` when it is set
// and do nothing otherwise; with a single button they choose it. Cancelling the task closes the
// alert and throws CancellationError. Texts are shown as given: callers pass them localised,
// because this layer does not look texts up.

#include "Platform/Async/Task.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace Platform {

enum class AlertStyle { warning, informational, critical };

struct Alert {
    QString message;         // the bold first line
    QString informativeText; // the detail below it; may be empty
    // Button titles, left to right in reading order as the box lays them out; the first is the
    // default. Needs at least one.
    QStringList buttons;
    // Index of the button that Escape and closing choose; -1 for none.
    int cancelButton = -1;
    AlertStyle style = AlertStyle::warning;
};

struct AlertResponse {
    int button = 0; // index into Alert::buttons
    bool operator==(const AlertResponse &) const = default;
};

class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual Task<AlertResponse> present(QWidget *parent, Alert alert) = 0;
};

} // namespace Platform
