#pragma once
// The JSON document the update server publishes for one release.
//
// The wire form is one JSON object with exactly these keys: "schemaVersion" and "build" (JSON
// integers), "product", "version", "downloadURL" and "sha256" (strings), and "releaseNotes" (a
// string, or missing, or null). Unknown keys are ignored. A missing required key or a value of
// the wrong type fails to decode with ManifestDecodeError. The download address is kept as it
// was written, because the policy compares its scheme case-sensitively and QUrl lower-cases it.

#include "NativeAppUpdater/UpdaterError.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace NativeAppUpdater {

class ManifestDecodeError final : public UpdaterError {
public:
    enum class Reason { notJson, missingKey, wrongType, tooLarge };
    ManifestDecodeError(Reason reason, QString key);
    Reason reason() const { return m_reason; }
    const QString &key() const { return m_key; }
    QString localizedDescription() const override;

private:
    Reason m_reason;
    QString m_key;
};

struct NativeUpdateManifest {
    // The largest manifest the decoder reads.
    static constexpr qsizetype maxBytes = 1024 * 1024;

    qint64 schemaVersion = 0;
    QString product;
    QString version;
    qint64 build = 0;
    QString downloadURL; // as written; see downloadAddress()
    QString sha256;
    std::optional<QString> releaseNotes;

    // The download address as a URL (for requests; validation reads the text).
    QUrl downloadAddress() const { return QUrl(downloadURL, QUrl::StrictMode); }

    // Throws ManifestDecodeError.
    static NativeUpdateManifest decode(const QByteArray &json);
    QByteArray encode() const;

    bool operator==(const NativeUpdateManifest &) const = default;
};

} // namespace NativeAppUpdater
