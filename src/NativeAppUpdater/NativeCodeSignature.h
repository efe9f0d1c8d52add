#pragma once
// The code signature of a bundle: its seal (CodeSeal.h), an Ed25519 signature over the seal by
// one of the configuration's signing keys, and a countersignature by one of its countersigning
// keys (standing in for the platform's assessment), all three in "_CodeSignature/". Each
// signature covers a purpose prefix and the seal's exact bytes, so a signature of one kind can
// never pass as the other even if a key were listed twice.
//
// A bundle passes `verifyBundle` only when both signatures verify, the seal's header names the
// configured identifier and team and the expected version and build, the Info.plist agrees with
// the header, the executable is an ELF executable for this machine, and the files on disk equal
// the seal exactly: no missing or extra entry, the same kinds, modes, sizes, digests and link
// targets, and "_CodeSignature" holding exactly its three files. Every refusal throws
// NativeUpdateInstaller::Error with `invalidApplication` (or `noReleaseKeys` when the
// configuration pins no keys) and a technical detail saying which check failed.

#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/NativeUpdateConfiguration.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace NativeAppUpdater::NativeCodeSignature {

struct SignatureFiles {
    QByteArray seal;
    QByteArray signature;
    QByteArray countersignature;
};

struct Expectation {
    std::optional<QString> version;
    std::optional<qint64> build;
};

QByteArray signatureMessage(const QByteArray &seal);
QByteArray countersignatureMessage(const QByteArray &seal);

// Throws unless the configuration pins keys of both kinds.
void requireTrust(const NativeUpdateConfiguration &configuration);
// Checks both signatures and parses the seal; then its header.
CodeSeal verifiedSeal(const SignatureFiles &files, const NativeUpdateConfiguration &configuration, const Expectation &expected);
// The whole bundle on disk; returns its seal.
CodeSeal verifyBundle(const QString &bundlePath, const NativeUpdateConfiguration &configuration, const Expectation &expected);
// The same through an open handle on the bundle's folder: every file is reached from it, so
// what was verified is what the handle names.
CodeSeal verifyOpenBundle(int rootFd, const NativeUpdateConfiguration &configuration, const Expectation &expected);
// The seal a bundle folder carries, its signatures not checked (an installed bundle), when the
// folder holds nothing the seal does not list (each entry of the sealed kind) and the signature
// folder only its three files; nothing otherwise.
std::optional<CodeSeal> sealIfOnlySealed(int rootFd, const NativeUpdateLimits &limits);
// True when `header` (the file's first bytes) is an ELF executable or shared object for the
// machine this program was built for.
bool isExecutableForThisMachine(const QByteArray &header);

} // namespace NativeAppUpdater::NativeCodeSignature
