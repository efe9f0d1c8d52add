#include "Kivaro/shell/capture/GlobalShortcut.h"

#include "Kivaro/shell/capture/CaptureIntent.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"

#include <QPointer>
#include <QTimer>

#include <atomic>
#include <utility>

namespace Kivaro {

namespace {
std::atomic<std::uint32_t> nextID{0};
} // namespace

GlobalShortcut::GlobalShortcut(std::function<void()> invoke, std::shared_ptr<Platform::HotKeyService> service, QObject *parent)
    : QObject(parent), m_identifier(++nextID), m_invoke(std::move(invoke)),
      m_service(service ? std::move(service) : Platform::HotKeyService::shared())
{
}

GlobalShortcut::~GlobalShortcut()
{
    stop();
}

void GlobalShortcut::installHandler()
{
    if (m_handler)
        return;
    if (!m_service || !m_service->isAvailable())
        throw ShotError::message(kivaroCopy("无法注册全局快捷键，可从窗口点击“截图”。"));
    m_handler = connect(m_service.get(), &Platform::HotKeyService::hotKeyPressed, this,
                        [this](Platform::HotKeyIdentity identity) { handleHotKey(identity); });
}

void GlobalShortcut::registerBinding(const CaptureShortcut &binding, bool reservesOptionVariant)
{
    if (!binding.isValid())
        throw ShotError::message(kivaroCopy("请使用包含 ⌘、⌥ 或 ⌃ 的组合键。"));
    if (m_key != 0 && m_registeredBinding && *m_registeredBinding == binding && m_reservesOptionVariant == reservesOptionVariant)
        return;
    installHandler();

    const Platform::HotKeyIdentity identity{signature, m_identifier};
    const Platform::HotKeyRegistration main = m_service->registerHotKey({binding.keyCode, binding.modifiers}, identity);
    if (main.status != Platform::HotKeyStatus::registered)
        throw ShotError::message(kivaroFormat("%@ 已被系统或其他应用占用，请换一组快捷键。", binding.title()));

    std::uint64_t variant = 0;
    if (reservesOptionVariant && !(binding.modifiers & HotKeyMask::option)) {
        const Platform::HotKeyRegistration option =
            m_service->registerHotKey({binding.keyCode, binding.modifiers | HotKeyMask::option}, identity);
        if (option.status != Platform::HotKeyStatus::registered) {
            m_service->unregisterHotKey(main.reference);
            throw ShotError::message(kivaroCopy("带 Alt 的切换快捷键已被占用，请换一组快捷键。"));
        }
        variant = option.reference;
    }

    pause();
    m_key = main.reference;
    m_optionKey = variant;
    m_registeredBinding = binding;
    m_reservesOptionVariant = reservesOptionVariant;
}

void GlobalShortcut::pause()
{
    if (m_key != 0)
        m_service->unregisterHotKey(m_key);
    if (m_optionKey != 0)
        m_service->unregisterHotKey(m_optionKey);
    m_key = 0;
    m_optionKey = 0;
    m_registeredBinding.reset();
}

void GlobalShortcut::stop()
{
    pause();
    if (m_handler) {
        disconnect(m_handler);
        m_handler = {};
    }
}

bool GlobalShortcut::handleHotKey(const std::optional<Platform::HotKeyIdentity> &identity)
{
    if (!identity || identity->signature != signature || identity->number != m_identifier)
        return false;
    QPointer<GlobalShortcut> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->m_invoke)
            self->m_invoke();
    });
    return true;
}

namespace {

// A mode's capture command: its title with the intent's label, and the enabled binding's title
// (empty when the binding is switched off).
std::pair<QString, QString> captureCommandParts(CaptureSelectionMode mode, const Platform::UserDefaults &defaults)
{
    const CaptureShortcutPreferences preferences = CaptureModeShortcuts::read(mode, defaults);
    QString title = CaptureSelectionModes::title(mode);
    switch (CaptureIntents::read(defaults)) {
    case CaptureIntent::image:
        break;
    case CaptureIntent::text:
        title += QStringLiteral(" · ") + kivaroCopy("识字并复制");
        break;
    case CaptureIntent::polishedText:
        title += QStringLiteral(" · ") + kivaroCopy("识字并 AI 润色");
        break;
    }
    return {title, preferences.enabled ? preferences.binding.title() : QString()};
}

QString joined(const std::pair<QString, QString> &parts, QStringView separator)
{
    return parts.second.isEmpty() ? parts.first : parts.first + separator + parts.second;
}

} // namespace

QString GlobalShortcut::menuTitle(CaptureSelectionMode mode, const Platform::UserDefaults &defaults)
{
    return joined(captureCommandParts(mode, defaults), u"  ");
}

QString GlobalShortcut::menuItemText(CaptureSelectionMode mode, const Platform::UserDefaults &defaults)
{
    return joined(captureCommandParts(mode, defaults), u"\t");
}

} // namespace Kivaro
