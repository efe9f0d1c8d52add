#include "FuzzTargets.h"

#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/PreferencesMigration.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/NativeAccentPalette.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/PropertyList/PropertyList.h"

#include <QFile>

namespace Kivaro::Fuzz {

namespace {

using Platform::UserDefaults;

// The application's own readers of the standard domain, as at launch.
void readSettings(const UserDefaults &defaults)
{
    for (CaptureSelectionMode mode : CaptureSelectionModes::all)
        check(CaptureModeShortcuts::read(mode, defaults).binding.isValid(), "a capture shortcut read is valid");
    CaptureSelectionModes::read(defaults);
    NativeAppAppearance::NativeAccentPalette::current(NativeAppAppearance::NativeAccentPalette::ocean,
                                                     QString::fromLatin1(NativeAppAppearance::NativeAccentPalette::standardDefaultsKey), defaults);
}

void forget(const QString &domain)
{
    UserDefaults::removePersistentDomain(domain);
    UserDefaults::forgetDomain(domain);
    QFile::remove(UserDefaults::folder() + QLatin1Char('/') + domain + QStringLiteral(".plist.corrupt"));
}

} // namespace

int fuzzPreferences(const uint8_t *data, size_t size)
{
    const QString domain = QStringLiteral("app.kivaro.Fuzz");
    const QString migrated = QStringLiteral("app.kivaro.FuzzMigrated");
    const QString folder = UserDefaults::folder();
    const QString path = folder + QLatin1Char('/') + domain + QStringLiteral(".plist");
    check(!Platform::ensurePrivateFolder(folder).has_value(), "the preference folder can be made");
    check(writeScratchFile(path, data, size), "the domain file can be written");

    UserDefaults defaults = UserDefaults::suite(domain);
    const QVariantMap values = defaults.dictionaryRepresentation();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString &key = it.key();
        check(defaults.contains(key), "a listed key is contained");
        defaults.boolean(key);
        defaults.integer(key);
        defaults.real(key);
        defaults.string(key);
        defaults.data(key);
        defaults.array(key);
        defaults.dictionary(key);
    }
    const auto persistent = UserDefaults::persistentDomain(domain);
    check(!persistent || *persistent == values, "the persistent domain is what the domain holds");
    readSettings(defaults);
    // The file read as an earlier build's domain, copied into a fresh one.
    if (persistent)
        PreferencesMigration::migrate(UserDefaults::suite(migrated), *persistent);
    try {
        CaptureModeShortcuts::migrate(defaults);
    } catch (const CodingError &) {
        check(false, "migrating the capture shortcuts writes only valid settings");
    } catch (const ShotError &) {
        // The folder could not be written: reported, not a fault of the decoder.
    }

    // A change writes the whole domain, every value read included (an unreadable file is moved
    // aside first).
    bool written = false;
    try {
        check(defaults.set(QStringLiteral("fuzz.change"), qint64(1)), "an integer can be stored");
        written = true;
    } catch (const Platform::DefaultsWriteError &) {
        // A domain that cannot be written says so; what it holds is checked only once on disk.
    }
    if (written) {
        QFile file(path);
        check(file.open(QIODevice::ReadOnly), "a written domain can be opened");
        QVariant stored;
        try {
            stored = Platform::decodePropertyList(file.readAll());
        } catch (const Platform::PropertyListError &) {
            check(false, "a written domain decodes");
        }
        check(sameValue(stored, defaults.dictionaryRepresentation()), "a written domain holds what the domain holds");
    }
    forget(domain);
    forget(migrated);
    return 0;
}

} // namespace Kivaro::Fuzz
