#pragma once
// Turning downloaded archive bytes into a verified bundle on disk, and starting the installer.
//
// `prepare` checks, in order: the archive's SHA-256 against the manifest's (ASCII hex, letter
// case ignored); that release keys are built in; the seal and its two signatures, read from the
// very bytes that were hashed; the seal's header against the configuration and the manifest;
// then it unpacks only the sealed entries into a fresh private staging folder (see
// StagingFolder.h) and checks the result on disk again, with the bundle's Info.plist (identifier,
// version, build, executable) and the executable's ELF header. Nothing outside the staging folder
// is written. A failure after the staging folder was made removes it again.
//
// `launchHelper` verifies the staged bundle once more (verification and installation can be
// days apart), checks that the running bundle can be replaced at all, and starts the staged
// executable in the installer mode (NativeUpdateHelper) as a detached process in its own session.
// The returned process lets the caller know while an installer is still running.

#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/NativeUpdateConfiguration.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "NativeAppUpdater/UpdaterError.h"

#include <QString>

#include <memory>
#include <optional>

namespace NativeAppUpdater {

class NativeUpdateInstaller final {
public:
    enum class Failure { invalidArchive, invalidApplication, cannotReplace, noReleaseKeys };

    class Error final : public UpdaterError {
    public:
        Error(Failure failure, QString detail);
        Failure failure() const { return m_failure; }
        QString localizedDescription() const override;

    private:
        Failure m_failure;
    };

    // A started installer: a child of this process, watched through a pidfd.
    class HelperProcess {
    public:
        virtual ~HelperProcess() = default;
        virtual bool isRunning() = 0;
        virtual qint64 processId() const = 0;
    };

    struct PrepareOptions {
        // Where staging folders go; nothing chooses (StagingFolder::chooseRoot).
        std::optional<QString> stagingRoot;
        // The installed bundle the staged one will replace; decides the file system the staging
        // folder should share. Nothing means the running bundle.
        std::optional<QString> installedBundle;
    };

    // Returns the staged bundle's path. Throws Error, or UpdateFileError for file operations.
    static QString prepare(const QByteArray &data, const NativeUpdateManifest &manifest,
                           const NativeUpdateConfiguration &configuration, const PrepareOptions &options = {});

    // Throws Error (cannotReplace) unless `installedBundle` is a real folder (not a link) owned
    // by this user, named as the configuration's bundle, holding a bundle with the configured
    // identifier and nothing its own seal does not list, in a folder this user can write to and
    // no other user can change (see ParentFolderCheck.h). Returns that seal.
    static CodeSeal checkReplaceable(const QString &installedBundle, const NativeUpdateConfiguration &configuration);

    // Verifies `stagedApplication` for `manifest`, checks `runningApplication` with
    // checkReplaceable, and starts the installer mode for `processId`. Throws Error, or
    // UpdateFileError when the process cannot be started.
    static std::unique_ptr<HelperProcess> launchHelper(const QString &stagedApplication, const QString &runningApplication,
                                                       const NativeUpdateConfiguration &configuration,
                                                       const NativeUpdateManifest &manifest, qint64 processId);

    NativeUpdateInstaller() = delete;
};

} // namespace NativeAppUpdater
