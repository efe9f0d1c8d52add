#include "KivaroCore/CaptureShortcut.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/SavedSetting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>

#include <cmath>

namespace Kivaro {

namespace {

qsizetype graphemeCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

// A JSON number that is a whole number within the range of an unsigned 32-bit value.
std::optional<std::uint32_t> unsigned32(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= 0.0) || number > 4294967295.0 || std::floor(number) != number)
        return std::nullopt;
    return static_cast<std::uint32_t>(number);
}

} // namespace

CaptureShortcut CaptureShortcut::standard()
{
    return {21, HotKeyMask::control | HotKeyMask::option | HotKeyMask::command, QStringLiteral("4")};
}

bool CaptureShortcut::isValid() const
{
    constexpr std::uint32_t required = HotKeyMask::control | HotKeyMask::option | HotKeyMask::command;
    constexpr std::uint32_t allowed = required | HotKeyMask::shift;
    if (keyCode > 127)
        return false;
    if (keyCode >= 53 && keyCode <= 63)
        return false;
    if ((modifiers & required) == 0)
        return false;
    if ((modifiers & ~allowed) != 0)
        return false;
    if (modifiers == HotKeyMask::command && (keyCode == 12 || keyCode == 13 || keyCode == 43))
        return false;
    const qsizetype length = graphemeCount(keyName);
    return length >= 1 && length <= 20;
}

bool CaptureShortcut::isMenuKey() const
{
    return modifiers == HotKeyMask::control && (keyCode == 12 || keyCode == 13 || keyCode == 43);
}

QString CaptureShortcut::title() const
{
    QString text;
    if (modifiers & HotKeyMask::control)
        text += u"⌃";
    if (modifiers & HotKeyMask::option)
        text += u"⌥";
    if (modifiers & HotKeyMask::shift)
        text += u"⇧";
    if (modifiers & HotKeyMask::command)
        text += u"⌘";
    text += keyCode == 49 ? kivaroCopy("空格") : keyName;
    return text;
}

QByteArray CaptureShortcutPreferences::encoded() const
{
    QJsonObject chord{{QStringLiteral("keyCode"), qint64(binding.keyCode)},
                      {QStringLiteral("modifiers"), qint64(binding.modifiers)},
                      {QStringLiteral("keyName"), binding.keyName}};
    QJsonObject setting{{QStringLiteral("binding"), chord}, {QStringLiteral("enabled"), enabled}};
    return QJsonDocument(setting).toJson(QJsonDocument::Compact);
}

std::optional<CaptureShortcutPreferences> CaptureShortcutPreferences::decode(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject setting = document.object();
    const QJsonValue enabled = setting.value(QStringLiteral("enabled"));
    const QJsonValue chord = setting.value(QStringLiteral("binding"));
    if (!enabled.isBool() || !chord.isObject())
        return std::nullopt;
    const QJsonObject binding = chord.toObject();
    const auto keyCode = unsigned32(binding.value(QStringLiteral("keyCode")));
    const auto modifiers = unsigned32(binding.value(QStringLiteral("modifiers")));
    const QJsonValue keyName = binding.value(QStringLiteral("keyName"));
    if (!keyCode || !modifiers || !keyName.isString())
        return std::nullopt;
    return CaptureShortcutPreferences{{*keyCode, *modifiers, keyName.toString()}, enabled.toBool()};
}

void CaptureShortcutPreferences::save(Platform::UserDefaults defaults, const QString &key) const
{
    if (!binding.isValid())
        throw CodingError(CodingError::Code::invalidValue);
    saveSetting(std::move(defaults), key, encoded());
}

CaptureShortcutPreferences CaptureShortcutPreferences::read(const Platform::UserDefaults &defaults, const QString &key,
                                                            const CaptureShortcutPreferences &fallback)
{
    const auto data = defaults.data(key);
    if (!data)
        return fallback;
    const auto decoded = decode(*data);
    if (!decoded || !decoded->binding.isValid())
        return fallback;
    return *decoded;
}

} // namespace Kivaro
