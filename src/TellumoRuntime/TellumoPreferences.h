#pragma once
// The settings of text polishing: the service's address and model, the polish prompt, the
// interface language, and the state of the stored API key as the settings view shows it. A few
// settings of the sibling product ride along (menu-bar and dock icons, a capture shortcut, a
// colour mode): they are read and written like the others, and nothing in this application
// sets them.
//
// Every persisted property writes itself to the preferences domain given at construction at
// once; reading never fails (absent or ill-typed values give the defaults). A write that fails
// reports nothing to the caller: the value is kept for this session, the domain reads as before,
// and `settingsError` tells the user once that the setting could not be saved (it is cleared by
// the next write that succeeds). `changed` is
// emitted after any property changed; the four callbacks run synchronously inside the setter
// that triggers them, after the value is stored.
//
// The key itself lives only in the key store. Whether one is stored (`keySaved`) is read at
// construction without blocking: it starts false and turns true when the store answers with a
// key (a failing read counts as none and is not reported). `saveKey` trims the key, refuses one
// holding control characters, stores it (or removes the stored key for an empty one) and
// reports a failure in `keyError`.
//
// Main thread only.

#include "TellumoRuntime/AIKeyStore.h"

#include "Platform/Async/Task.h"
#include "Platform/Defaults/UserDefaults.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace Tellumo {

// A capture shortcut of the sibling product, stored as JSON data {"keyCode","modifiers","label"}.
struct CapturedShortcut {
    std::uint32_t keyCode = 19;
    std::uint32_t modifiers = 0x1300; // control, shift and command
    QString label = QStringLiteral("2");

    QByteArray encoded() const;
    static std::optional<CapturedShortcut> decode(const QByteArray &json);

    friend bool operator==(const CapturedShortcut &, const CapturedShortcut &) = default;
};

class TellumoPreferences final : public QObject {
    Q_OBJECT
public:
    // The standard domain of the Tellumo modules, and the one verification runs use instead.
    static constexpr const char *suite = "app.tellumo.Tellumo";
    static constexpr const char *verificationSuite = "kivaro-tellumo-verification";
    static QString defaultBaseURL();
    static constexpr const char *defaultModel = "deepseek-v4-flash";

    // `readKey`: whether the key store may be asked if a key is stored ("--open-settings-preview"
    // among the launch arguments forbids it too).
    TellumoPreferences(Platform::UserDefaults defaults, bool readKey, std::shared_ptr<AIKeyStore> keyStore,
                       QObject *parent = nullptr);
    ~TellumoPreferences() override;

    const Platform::UserDefaults &defaults() const { return m_defaults; }
    const std::shared_ptr<AIKeyStore> &keyStore() const { return m_keyStore; }

    QString aiBaseURL() const { return m_aiBaseURL; }
    void setAiBaseURL(const QString &value);
    QString aiModel() const { return m_aiModel; }
    void setAiModel(const QString &value);
    QString polishPrompt() const { return m_polishPrompt; }
    void setPolishPrompt(const QString &value);
    bool hideMenuBarIcon() const { return m_hideMenuBarIcon; }
    void setHideMenuBarIcon(bool value);
    bool hideDockIcon() const { return m_hideDockIcon; }
    void setHideDockIcon(bool value);
    bool keySaved() const { return m_keySaved; }
    void setKeySaved(bool value);
    QString keyError() const { return m_keyError; }
    void setKeyError(const QString &value);
    // Where the stored key is when `keySaved`: empty for the desktop's key store, else the
    // private file the key store fell back to. Not persisted.
    QString keyFile() const { return m_keyFile; }
    CapturedShortcut shortcut() const { return m_shortcut; }
    void setShortcut(const CapturedShortcut &value);
    // "设置无法保存：无法写入“<file>”。" (looked up) after a write of the domain failed; empty
    // otherwise. Not persisted.
    QString settingsError() const { return m_settingsError; }
    QString shortcutError() const { return m_shortcutError; }
    void setShortcutError(const QString &value);
    QString colorMode() const { return m_colorMode; }
    void setColorMode(const QString &value);
    QString language() const { return m_language; }
    void setLanguage(const QString &value);

    // "⌃⌥⇧⌘" for the shortcut's modifiers, in this order, then its label.
    QString shortcutTitle() const;
    // "light" and "dark" set the application's appearance; anything else follows the system.
    void applyColorMode() const;

    // Stores the trimmed key, or removes the stored one when nothing is left. The handle ends
    // when `keySaved` and `keyError` tell the outcome; it never ends with an error other than
    // cancellation. A later save wins over an earlier one still under way.
    Platform::TaskHandle<void> saveKey(const QString &key);
    // The first look for a stored key, started at construction (an empty handle when none was made).
    const Platform::TaskHandle<void> &keyLookup() const { return m_keyLookup; }

    std::function<void()> onVisibilityChange;
    std::function<void()> onShortcutChange;
    std::function<void()> onConfigurationChange;
    std::function<void()> onLanguageChange;

Q_SIGNALS:
    void changed();

private:
    static Platform::Task<void> lookingUp(QPointer<TellumoPreferences> self, std::shared_ptr<AIKeyStore> store, std::uint64_t generation);
    static Platform::Task<void> saving(QPointer<TellumoPreferences> self, std::shared_ptr<AIKeyStore> store, QString key,
                                       std::uint64_t generation);
    // Stores `value` under `key`; a failure only sets `settingsError`. Emits nothing.
    void write(const QString &key, const QVariant &value);
    void setString(QString &field, const QString &value, const char *key);
    void setVisibility(bool &field, bool value, const QString &key);
    static void call(const std::function<void()> &callback);

    Platform::UserDefaults m_defaults;
    std::shared_ptr<AIKeyStore> m_keyStore;
    QString m_aiBaseURL;
    QString m_aiModel;
    QString m_polishPrompt;
    bool m_hideMenuBarIcon = false;
    bool m_hideDockIcon = true;
    bool m_keySaved = false;
    QString m_keyError;
    QString m_keyFile;
    CapturedShortcut m_shortcut;
    QString m_shortcutError;
    QString m_settingsError;
    QString m_colorMode;
    QString m_language;
    // Raised by every save, so that an older answer of the key store changes nothing.
    std::uint64_t m_keyGeneration = 0;
    Platform::TaskHandle<void> m_keyLookup;
};

} // namespace Tellumo
