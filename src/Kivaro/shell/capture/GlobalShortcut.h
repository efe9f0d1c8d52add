#pragma once
// One system-wide capture hot key of the application.
//
// Registering a binding registers its chord and, when asked and the chord lacks Option, the
// same chord with Option added, so that holding Option while pressing the hot key reaches the
// application too (the action then switches the capture mode). Both registrations carry this
// hot key's identity: the signature 'KVRO' and the instance's number (1 for the first
// instance created in the process, 2 for the second, ...), so a press reaches only its own
// instance. A press runs `invoke` later, from the event loop on the main thread, never inside
// the delivery of the press.
//
// Registration is transactional: the new chords are registered before the earlier ones are
// released, and a failure leaves the earlier registration in force. Failures are ShotError
// with a looked-up message.
//
// The "event handler" is this hot key's subscription to the hot-key service's presses: it is
// installed by the first registration, kept across pause(), and removed by stop().

#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/CaptureShortcut.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/HotKeys/HotKeyService.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace Kivaro {

class GlobalShortcut final : public QObject {
    Q_OBJECT
public:
    // 'KVRO' as a big-endian 32-bit code.
    static constexpr std::uint32_t signature = 0x4B56524F;

    // Takes the next instance number. `service` defaults to the process's hot-key service.
    explicit GlobalShortcut(std::function<void()> invoke, std::shared_ptr<Platform::HotKeyService> service = {},
                            QObject *parent = nullptr);
    ~GlobalShortcut() override;

    std::uint32_t identifier() const { return m_identifier; }
    bool reservesOptionVariant() const { return m_reservesOptionVariant; }
    const std::optional<CaptureShortcut> &registeredBinding() const { return m_registeredBinding; }
    bool isRegistered() const { return m_key != 0; }
    bool hasOptionVariant() const { return m_optionKey != 0; }
    bool hasEventHandler() const { return bool(m_handler); }

    // Throws ShotError; see the header comment.
    void registerBinding(const CaptureShortcut &binding, bool reservesOptionVariant = true);
    // Unregisters the chord and its Option variant and forgets the binding; the handler stays.
    void pause();
    // pause(), then removes the handler.
    void stop();

    // What a delivered press does: true (and `invoke` scheduled) when the identity is this
    // instance's, false (not handled) for a missing identity, another signature or another number.
    bool handleHotKey(const std::optional<Platform::HotKeyIdentity> &identity);

    // The menu title of a mode's capture command, from the given preferences: the mode's title,
    // " · " and the intent's label when the intent is not "image", and two spaces and the
    // binding's title when the mode's binding is enabled.
    static QString menuTitle(CaptureSelectionMode mode, const Platform::UserDefaults &defaults = Platform::UserDefaults::standard());
    // The same for a menu item: the binding's title after a tab, so that menus show it in their
    // shortcut column like the keys of every other item.
    static QString menuItemText(CaptureSelectionMode mode,
                                const Platform::UserDefaults &defaults = Platform::UserDefaults::standard());

private:
    void installHandler();

    std::uint64_t m_key = 0;
    QMetaObject::Connection m_handler;
    bool m_reservesOptionVariant = true;
    std::uint64_t m_optionKey = 0;
    std::uint32_t m_identifier;
    std::function<void()> m_invoke;
    std::optional<CaptureShortcut> m_registeredBinding;
    std::shared_ptr<Platform::HotKeyService> m_service;
};

} // namespace Kivaro
