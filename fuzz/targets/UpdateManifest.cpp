#include "FuzzTargets.h"

#include "NativeAppUpdater/NativeReleaseNotes.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"

namespace Kivaro::Fuzz {

int fuzzUpdateManifest(const uint8_t *data, size_t size)
{
    using namespace NativeAppUpdater;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    NativeUpdateManifest manifest;
    try {
        manifest = NativeUpdateManifest::decode(bytes);
    } catch (const ManifestDecodeError &) {
        return 0;
    }
    check(NativeUpdateManifest::decode(manifest.encode()) == manifest, "an encoded manifest decodes to itself");
    const NativeUpdateConfiguration configuration(QStringLiteral("kivaro"), QStringLiteral("Kivaro"), QStringLiteral("app.kivaro.Kivaro"),
                                                  QStringLiteral("TESTTEAM01"), QUrl(QStringLiteral("https://updates.example.org/downloads/update.json")),
                                                  {QStringLiteral("updates.example.org")}, true);
    try {
        NativeUpdatePolicy::validate(manifest, configuration);
        check(NativeUpdatePolicy::isHexDigest(manifest.sha256), "a valid manifest has an ASCII digest");
        check(manifest.downloadAddress().scheme() == QLatin1String("https"), "a valid manifest downloads over https");
    } catch (const NativeUpdatePolicy::Error &) {
    }
    // The notes are outside data too: rendered as the prompt would.
    if (manifest.releaseNotes) {
        const ReleaseNotesText notes = nativeReleaseNotes(*manifest.releaseNotes);
        for (const ReleaseNotesRun &run : notes.runs) {
            const QString scheme = run.link.scheme();
            check(run.link.isEmpty() || scheme == QLatin1String("https") || scheme == QLatin1String("http"), "only web links are links");
        }
        check(notes.plainText().toUtf8().size() <= 4 * maxReleaseNotesBytes, "rendered notes stay bounded");
    }
    return 0;
}

} // namespace Kivaro::Fuzz
