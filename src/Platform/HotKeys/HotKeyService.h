#pragma once
// System-wide hot keys.
//
// A chord is a virtual key code with a hot-key modifier mask (Command 0x100, Shift 0x200,
// Option 0x800, Control 0x1000; see Platform/Keys). Each registration carries an identity (a
// four-character signature and a number) that comes back with every press, so that several
// registrations may share one identity (a chord and its Option variant) and a listener can
// tell its own presses from others'.
//
// A chord this process already holds is refused like a chord another application holds
// (`occupied`). Presses are delivered on the main thread, from the event loop, as the signal
// `hotKeyPressed`; key repeat while the chord is held does not deliver again.
//
// Backends: X11HotKeyService (xcb_grab_key on the root window) and InProcessHotKeyService
// (scripted presses, for tests). `HotKeyService::shared()` is the process's service.

#include <QObject>

#include <cstdint>
#include <memory>

namespace Platform {

struct HotKeyChord {
    std::uint32_t keyCode = 0;   // virtual key code
    std::uint32_t modifiers = 0; // hot-key mask
    friend bool operator==(const HotKeyChord &, const HotKeyChord &) = default;
};

struct HotKeyIdentity {
    std::uint32_t signature = 0;
    std::uint32_t number = 0;
    friend bool operator==(const HotKeyIdentity &, const HotKeyIdentity &) = default;
};

enum class HotKeyStatus {
    registered,
    occupied,    // this process or another client holds the chord
    unknownKey,  // the key is not on this keyboard
    unavailable, // no window system to register with
};

struct HotKeyRegistration {
    HotKeyStatus status = HotKeyStatus::unavailable;
    std::uint64_t reference = 0; // non-zero exactly when registered
};

class HotKeyService : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~HotKeyService() override;

    // Whether presses can be delivered at all (a reachable display).
    virtual bool isAvailable() const = 0;
    virtual HotKeyRegistration registerHotKey(HotKeyChord chord, HotKeyIdentity identity) = 0;
    // Unknown or zero references are ignored.
    virtual void unregisterHotKey(std::uint64_t reference) = 0;

    // The process's service: X11 when $DISPLAY is reachable, else an unavailable in-process one.
    static std::shared_ptr<HotKeyService> shared();
    // Replaces the process's service (tests; an empty pointer goes back to the default).
    static void setShared(std::shared_ptr<HotKeyService> service);

Q_SIGNALS:
    void hotKeyPressed(Platform::HotKeyIdentity identity);
};

} // namespace Platform

Q_DECLARE_METATYPE(Platform::HotKeyIdentity)
