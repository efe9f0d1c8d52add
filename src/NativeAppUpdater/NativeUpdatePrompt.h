#pragma once
// What the updater asks the user: a headline, an explanation, optional Markdown release notes,
// the accepting button and, except for plain messages, a declining one. A presenter shows it
// and calls its completion once, later or at once, on the main thread: true for the primary
// button, false for the secondary one or for closing.

#include <QString>

#include <functional>
#include <optional>

namespace NativeAppUpdater {

struct NativeUpdatePrompt {
    QString title;
    QString detail;
    std::optional<QString> releaseNotes;
    QString primary;
    std::optional<QString> secondary;

    bool operator==(const NativeUpdatePrompt &) const = default;
};

using NativeUpdatePromptPresenter = std::function<void(const NativeUpdatePrompt &prompt, std::function<void(bool accepted)> completion)>;

} // namespace NativeAppUpdater
