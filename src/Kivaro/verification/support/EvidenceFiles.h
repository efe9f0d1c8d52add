#pragma once
// The evidence a verification runner writes. Whole files go through the
// private-file helpers (0600, atomic, never through a symbolic link at their name) into a
// folder the runner was given; a folder named by the user keeps its other files as they are.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace Kivaro::VerificationSupport {

// `image` as PNG bytes; empty when it is null or cannot be encoded.
QByteArray encodePNG(const QImage &image);

// Writes `bytes` to `path` as a private file; throws ShotError with the write's error, which
// names the file.
void writeEvidence(const QString &path, const QByteArray &bytes);
// Whether `path`, links resolved, lies below `folder`, links resolved. False when either does
// not exist.
bool isInside(const QString &path, const QString &folder);

} // namespace Kivaro::VerificationSupport
