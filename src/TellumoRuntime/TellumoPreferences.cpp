#include "TellumoRuntime/TellumoPreferences.h"

#include "TellumoRuntime/TellumoDefaultPrompt.h"
#include "TellumoRuntime/TellumoLocalization.h"

#include "KivaroCore/LaunchArguments.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "TellumoCore/PolishingReasoningPolicy.h"
#include "TellumoCore/TextPolisher.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace Tellumo {

namespace {

const QString kBaseURL = QStringLiteral("aiBaseURL");
const QString kModel = QStringLiteral("aiModel");
const QString kPrompt = QStringLiteral("polishPrompt");
const QString kHideMenuBarIcon = QStringLiteral("hideMenuBarIcon");
const QString kHideDockIcon = QStringLiteral("hideDockIcon");
const QString kShortcut = QStringLiteral("shortcut");
const QString kColorMode = QStringLiteral("colorMode");
const QString kLanguage = QStringLiteral("language");

std::optional<std::uint32_t> unsigned32(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number < 0 || number > double(std::numeric_limits<std::uint32_t>::max()) || std::floor(number) != number)
        return std::nullopt;
    return std::uint32_t(number);
}

} // namespace

QByteArray CapturedShortcut::encoded() const
{
    const QByteArray name = QJsonDocument(QJsonObject{{QStringLiteral("label"), label}}).toJson(QJsonDocument::Compact);
    // {"label":"…"} without its braces, after the two numbers, to keep the fields' order.
    return "{\"keyCode\":" + QByteArray::number(keyCode) + ",\"modifiers\":" + QByteArray::number(modifiers) + ','
        + name.mid(1, name.size() - 2) + '}';
}

std::optional<CapturedShortcut> CapturedShortcut::decode(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto keyCode = unsigned32(object.value(QLatin1String("keyCode")));
    const auto modifiers = unsigned32(object.value(QLatin1String("modifiers")));
    const QJsonValue label = object.value(QLatin1String("label"));
    if (!keyCode || !modifiers || !label.isString())
        return std::nullopt;
    return CapturedShortcut{*keyCode, *modifiers, label.toString()};
}

QString TellumoPreferences::defaultBaseURL()
{
    return QStringLiteral("https://") + QLatin1String(PolishingReasoningPolicy::deepSeekHost) + QStringLiteral("/v1");
}

TellumoPreferences::TellumoPreferences(Platform::UserDefaults defaults, bool readKey, std::shared_ptr<AIKeyStore> keyStore,
                                       QObject *parent)
    : QObject(parent), m_defaults(std::move(defaults)), m_keyStore(std::move(keyStore))
{
    const QString language = m_defaults.string(kLanguage).value_or(QStringLiteral("system"));
    m_aiBaseURL = m_defaults.string(kBaseURL).value_or(defaultBaseURL());
    m_aiModel = m_defaults.string(kModel).value_or(QString::fromLatin1(defaultModel));

    const QString prompt = m_defaults.string(kPrompt).value_or(TellumoDefaultPrompt::forLanguage(language));
    m_polishPrompt = TellumoDefaultPrompt::migrate(prompt, language);

    m_hideMenuBarIcon = m_defaults.boolean(kHideMenuBarIcon);
    const QVariant dock = m_defaults.object(kHideDockIcon);
    m_hideDockIcon = dock.typeId() == QMetaType::Bool ? dock.toBool() : !m_hideMenuBarIcon;

    if (readKey && !Kivaro::PrototypeVerification::hasFlag(QStringLiteral("--open-settings-preview")) && m_keyStore)
        m_keyLookup = Platform::start(lookingUp(this, m_keyStore, m_keyGeneration), this);

    if (const auto data = m_defaults.data(kShortcut))
        m_shortcut = CapturedShortcut::decode(*data).value_or(CapturedShortcut{});
    m_colorMode = m_defaults.string(kColorMode).value_or(QStringLiteral("system"));
    m_language = language;

    if (m_polishPrompt != prompt)
        write(kPrompt, m_polishPrompt);
}

TellumoPreferences::~TellumoPreferences() = default;

void TellumoPreferences::call(const std::function<void()> &callback)
{
    if (callback)
        callback();
}

void TellumoPreferences::write(const QString &key, const QVariant &value)
{
    try {
        m_defaults.set(key, value);
        m_settingsError.clear();
    } catch (const Platform::DefaultsWriteError &error) {
        m_settingsError = Kivaro::kivaroFormat("设置无法保存：无法写入“%@”。", error.path());
    }
}

void TellumoPreferences::setString(QString &field, const QString &value, const char *key)
{
    field = value;
    write(QLatin1String(key), value);
    Q_EMIT changed();
}

void TellumoPreferences::setAiBaseURL(const QString &value)
{
    setString(m_aiBaseURL, value, "aiBaseURL");
    call(onConfigurationChange);
}

void TellumoPreferences::setAiModel(const QString &value)
{
    setString(m_aiModel, value, "aiModel");
    call(onConfigurationChange);
}

void TellumoPreferences::setPolishPrompt(const QString &value)
{
    setString(m_polishPrompt, value, "polishPrompt");
    call(onConfigurationChange);
}

void TellumoPreferences::setVisibility(bool &field, bool value, const QString &key)
{
    field = value;
    write(key, value);
    Q_EMIT changed();
    call(onVisibilityChange);
    call(onConfigurationChange);
}

void TellumoPreferences::setHideMenuBarIcon(bool value)
{
    setVisibility(m_hideMenuBarIcon, value, kHideMenuBarIcon);
}

void TellumoPreferences::setHideDockIcon(bool value)
{
    setVisibility(m_hideDockIcon, value, kHideDockIcon);
}

void TellumoPreferences::setKeySaved(bool value)
{
    m_keySaved = value;
    Q_EMIT changed();
}

void TellumoPreferences::setKeyError(const QString &value)
{
    m_keyError = value;
    Q_EMIT changed();
}

void TellumoPreferences::setShortcut(const CapturedShortcut &value)
{
    m_shortcut = value;
    write(kShortcut, value.encoded());
    Q_EMIT changed();
    call(onShortcutChange);
    call(onConfigurationChange);
}

void TellumoPreferences::setShortcutError(const QString &value)
{
    m_shortcutError = value;
    Q_EMIT changed();
}

void TellumoPreferences::setColorMode(const QString &value)
{
    setString(m_colorMode, value, "colorMode");
    applyColorMode();
    call(onConfigurationChange);
}

void TellumoPreferences::setLanguage(const QString &value)
{
    setString(m_language, value, "language");
    // An untouched default follows the language; a prompt the user edited is never replaced.
    if (TellumoDefaultPrompt::all().contains(m_polishPrompt))
        setPolishPrompt(TellumoDefaultPrompt::forLanguage(value));
    call(onLanguageChange);
    call(onConfigurationChange);
}

QString TellumoPreferences::shortcutTitle() const
{
    QString title;
    if (m_shortcut.modifiers & 0x1000)
        title += u'⌃';
    if (m_shortcut.modifiers & 0x800)
        title += u'⌥';
    if (m_shortcut.modifiers & 0x200)
        title += u'⇧';
    if (m_shortcut.modifiers & 0x100)
        title += u'⌘';
    return title + m_shortcut.label;
}

void TellumoPreferences::applyColorMode() const
{
    using NativeAppAppearance::Appearance;
    std::optional<Appearance> appearance;
    if (m_colorMode == u"light")
        appearance = Appearance::light;
    else if (m_colorMode == u"dark")
        appearance = Appearance::dark;
    NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(appearance);
}

Platform::TaskHandle<void> TellumoPreferences::saveKey(const QString &key)
{
    return Platform::start(saving(this, m_keyStore, key.trimmed(), ++m_keyGeneration), this);
}

Platform::Task<void> TellumoPreferences::saving(QPointer<TellumoPreferences> self, std::shared_ptr<AIKeyStore> store, QString key,
                                                std::uint64_t generation)
{
    std::optional<QString> failure;
    if (TextPolisher::hasControlCharacter(key)) {
        // A line break inside a key would end the request's header early.
        failure = tellumoLocalizedFormat("API Key 含有控制字符，请重新输入。");
    } else {
        try {
            if (key.isEmpty())
                co_await store->remove();
            else
                co_await store->write(key);
        } catch (const AIKeychainError &error) {
            failure = error.description();
        }
    }
    if (!self || self->m_keyGeneration != generation)
        co_return;
    if (failure) {
        self->setKeyError(tellumoLocalizedFormat("保存密钥失败：%@", *failure));
        co_return;
    }
    self->m_keyFile = key.isEmpty() ? QString() : store->keyFile();
    self->setKeySaved(!key.isEmpty());
    self->setKeyError(QString());
}

Platform::Task<void> TellumoPreferences::lookingUp(QPointer<TellumoPreferences> self, std::shared_ptr<AIKeyStore> store, std::uint64_t generation)
{
    std::optional<QString> key;
    try {
        key = co_await store->read();
    } catch (const AIKeychainError &) {
        // A store that cannot be read holds no key as far as the settings are concerned.
    }
    if (self && self->m_keyGeneration == generation) {
        self->m_keyFile = key ? store->keyFile() : QString();
        self->setKeySaved(key.has_value());
    }
}

} // namespace Tellumo
