#pragma once
// The rules that decide whether a published manifest may be used, and whether it is newer.
//
// Validation checks, in this order, and reports only the first failure: schema version 1; the
// configuration's product (exact); a short version (1 to 32 printable characters, no space at
// either end) and a build of at least 1; an address
// written with the scheme "https" (case-sensitive, as written) whose lower-cased host is one of
// the allowed hosts; a digest of exactly 64 ASCII hexadecimal digits. Full-width digits and
// letters are not hexadecimal here: the digest is compared byte for byte with the archive's.

#include "NativeAppUpdater/NativeUpdateConfiguration.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "NativeAppUpdater/UpdaterError.h"

namespace NativeAppUpdater {

class NativeUpdatePolicy final {
public:
    enum class Failure { invalidSchema, wrongProduct, invalidVersion, invalidDownloadURL, invalidChecksum };

    class Error final : public UpdaterError {
    public:
        explicit Error(Failure failure);
        Failure failure() const { return m_failure; }
        QString localizedDescription() const override;

    private:
        Failure m_failure;
    };

    // Throws Error.
    static void validate(const NativeUpdateManifest &manifest, const NativeUpdateConfiguration &configuration);
    static bool isNewer(const NativeUpdateManifest &manifest, qint64 currentBuild);
    static constexpr qsizetype maxVersionLength = 32;
    // The version as a manifest may give it (see above).
    static bool isShortVersion(const QString &version);
    // 64 characters, each 0-9, a-f or A-F.
    static bool isHexDigest(const QString &text);

    NativeUpdatePolicy() = delete;
};

} // namespace NativeAppUpdater
