#pragma once
// What happens once a capture has produced an image: whether it is copied to the clipboard
// ("kivaro.capture.copiesImage", absent means true) and whether the editor opens over the
// captured spot ("kivaro.capture.opensEditor", absent means false); and the settings view with
// one switch for each, placed in the settings window.

#include "Platform/Defaults/UserDefaults.h"

#include <QWidget>

#include <functional>

namespace Kivaro {

class KivaroButton;

struct CaptureCompletionPreferences {
    static constexpr const char *opensEditorKey = "kivaro.capture.opensEditor";
    static constexpr const char *copiesImageKey = "kivaro.capture.copiesImage";

    bool opensEditor = false;
    bool copiesImage = true;

    // Read on every call, so a capture uses the values stored when it finishes. A value under
    // the copy key that is not a Boolean counts as true.
    static CaptureCompletionPreferences read(const Platform::UserDefaults &defaults);

    bool operator==(const CaptureCompletionPreferences &) const = default;
};

// The two switches: "截图后复制到剪贴板" above "截图后进入标注".
class CaptureCompletionSettings final : public QWidget {
    Q_OBJECT
public:
    explicit CaptureCompletionSettings(Platform::UserDefaults defaults, QWidget *parent = nullptr);

    KivaroButton *opensEditor() const { return m_opensEditor; }
    KivaroButton *copiesImage() const { return m_copiesImage; }
    const Platform::UserDefaults &defaults() const { return m_defaults; }

    // Sets both switches from the stored preferences.
    void refresh();
    // Both switches' action: writes both keys, the editor key first. When the preferences
    // cannot be stored the switches go back to what is stored and `failed` is told the message.
    void changed();

    // Set by the settings window to show a failed write in its message line.
    std::function<void(const QString &message)> failed;

private:
    KivaroButton *m_opensEditor;
    KivaroButton *m_copiesImage;
    Platform::UserDefaults m_defaults;
};

} // namespace Kivaro
