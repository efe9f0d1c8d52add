#pragma once
// The release notes of an update prompt: read-only, selectable, scrolling text on the window's
// background with the application's knob-only scroller, rendered with the updater's Markdown
// rules (NativeReleaseNotes) in the label colour of the view's appearance, redrawn when the
// appearance changes. Only http and https links exist in it; a click opens them in the browser.

#include "NativeAppAppearance/Appearance.h"
#include "NativeAppUpdater/NativeReleaseNotes.h"

#include <QTextBrowser>

#include <optional>

namespace Kivaro::detail {

class ReleaseNotesView final : public QTextBrowser {
    Q_OBJECT
public:
    explicit ReleaseNotesView(const QString &markdown, QWidget *parent = nullptr);

    const NativeAppUpdater::ReleaseNotesText &notes() const { return m_notes; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void render();

    NativeAppUpdater::ReleaseNotesText m_notes;
    std::optional<NativeAppAppearance::Appearance> m_rendered;
};

} // namespace Kivaro::detail
