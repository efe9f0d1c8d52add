#pragma once
// Open and save panels behind a small interface, so the editor's tests can answer them.
//
// Each operation is a task: it shows the panel window-modal over `parent` (application-modal
// when `parent` is null), returns the chosen absolute path, or nothing when the user cancelled.
// Cancelling the task closes the panel and throws CancellationError. Texts in the options are
// shown as given: callers pass them already localised.
//
// The save panel never asks about replacing an existing file: the caller may still change the
// name (the editor appends its project extension), so the caller confirms on the final name.
// The chosen name is returned as it was chosen; the caller normalises its extension.

#include "Platform/Async/Task.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace Platform {

struct OpenPanelOptions {
    QString title;
    // Qt name filters, each "<description> (*.png *.jpg)", the first selected. Empty: any file.
    QStringList nameFilters;
    // The folder the panel starts in; empty leaves the panel's own choice (QtFilePanels: the
    // last folder chosen, else the user's Pictures folder).
    QString directory;
};

struct SavePanelOptions {
    QString title;
    // The name in the name field, for example "未命名.kivaro".
    QString suggestedName;
    // Without the dot, for example "png". Added by the panel to a name typed without any
    // extension, and the panel's filter lists it. Empty: any name.
    QString allowedExtension;
    // Qt name filters shown in the panel; empty gives "*.<allowedExtension>" when that is set.
    QStringList nameFilters;
    QString directory;
};

class FilePanels {
public:
    virtual ~FilePanels() = default;

    // Options are taken by value: the task may outlive the caller's copy.
    virtual Task<std::optional<QString>> chooseFileToOpen(QWidget *parent, OpenPanelOptions options) = 0;
    virtual Task<std::optional<QString>> chooseSaveLocation(QWidget *parent, SavePanelOptions options) = 0;
};

} // namespace Platform
