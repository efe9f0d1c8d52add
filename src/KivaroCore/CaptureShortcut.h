#pragma once
// A capture hot key: the chord (`CaptureShortcut`) and its stored setting
// (`CaptureShortcutPreferences`: the chord and whether it is switched on).
//
// Stored form: compact JSON `{"binding":{"keyCode":21,"modifiers":6400,"keyName":"4"},
// "enabled":true}` kept as *data* (not a string) under a key the caller chooses. Reading never
// fails: anything missing, malformed or invalid gives the caller's fallback and is left in
// place until a valid setting is saved over it.

#include "Platform/Defaults/UserDefaults.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace Kivaro {

// Thrown when a value cannot be encoded because it is invalid.
class CodingError final : public std::runtime_error {
public:
    enum class Code { invalidValue };
    explicit CodingError(Code code) : std::runtime_error("invalid value"), m_code(code) {}
    Code code() const { return m_code; }

private:
    Code m_code;
};

struct CaptureShortcut {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    QString keyName;

    static CaptureShortcut standard();

    // The acceptance rules: a real key (not Escape or a modifier key), at least one of
    // Control, Option and Command, no bit outside Control/Option/Shift/Command, never
    // Command alone with Q, W or comma, and a name of 1 to 20 characters.
    bool isValid() const;
    // Control alone with Q, W or comma: the keys of the application's own menus here (quit,
    // close window, settings), which a global grab would take from every application. Refused
    // when a chord is recorded; stored bindings are judged by isValid alone.
    bool isMenuKey() const;
    // "⌃⌥⇧⌘" in this order, then the key's name (the looked-up "空格" for the space bar).
    QString title() const;

    friend bool operator==(const CaptureShortcut &, const CaptureShortcut &) = default;
};

struct CaptureShortcutPreferences {
    CaptureShortcut binding;
    bool enabled = false;

    // Throws CodingError(invalidValue) for an invalid binding, and ShotError when the
    // preferences cannot be written (see saveSetting); writes nothing then.
    void save(Platform::UserDefaults defaults, const QString &key) const;
    static CaptureShortcutPreferences read(const Platform::UserDefaults &defaults, const QString &key,
                                           const CaptureShortcutPreferences &fallback);

    QByteArray encoded() const;
    // The decoded setting, or nothing when `json` is not a complete setting (validity of the
    // binding is not judged here).
    static std::optional<CaptureShortcutPreferences> decode(const QByteArray &json);

    friend bool operator==(const CaptureShortcutPreferences &, const CaptureShortcutPreferences &) = default;
};

namespace HotKeyMask {
constexpr std::uint32_t command = 0x100;
constexpr std::uint32_t shift = 0x200;
constexpr std::uint32_t option = 0x800;
constexpr std::uint32_t control = 0x1000;
} // namespace HotKeyMask

} // namespace Kivaro
