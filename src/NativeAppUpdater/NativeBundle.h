#pragma once
// An application bundle on disk: the relocatable folder "Kivaro.app" with its information
// dictionary "Info.plist" (a binary property list: CFBundleIdentifier,
// CFBundleShortVersionString, CFBundleVersion, CFBundleExecutable as a path relative to the
// bundle such as "bin/kivaro", CFBundleLocalizations), "bin/", "lib/" and "_CodeSignature/".
//
// `open` reads the dictionary once, bounded in size; a folder without a readable dictionary is
// not a bundle. `main()` is the bundle the running executable was started from, found through
// /proc/self/exe (links resolved, so "~/.local/bin/kivaro" leads into the bundle); a program
// that does not run from a bundle (a development build) has none.

#include <QString>
#include <QVariantMap>

#include <optional>

namespace NativeAppUpdater {

class NativeBundle final {
public:
    static constexpr const char *infoFileName = "Info.plist";
    static constexpr qsizetype maxInfoBytes = 1024 * 1024;

    static std::optional<NativeBundle> open(const QString &path);
    // The bundle of the running executable, or nothing.
    static std::optional<NativeBundle> main();
    // Makes `main()` answer with the bundle at `path` (tests, and the installer's own checks
    // against a bundle it was handed); nothing returns to /proc/self/exe.
    static void overrideMain(const std::optional<QString> &path);
    // The bundle that holds `executablePath` as its CFBundleExecutable, looked for in the
    // executable's ancestors.
    static std::optional<NativeBundle> containing(const QString &executablePath);

    // Absolute, clean path of the bundle folder.
    const QString &path() const { return m_path; }
    const QVariantMap &infoDictionary() const { return m_info; }
    // A string value of the dictionary, or nothing when missing or of another type.
    std::optional<QString> infoString(const QString &key) const;
    std::optional<QString> bundleIdentifier() const { return infoString(QStringLiteral("CFBundleIdentifier")); }
    // Absolute path of the executable when the dictionary names one that stays inside the
    // bundle and exists as a regular file (not a link); nothing otherwise.
    std::optional<QString> executablePath() const;

private:
    NativeBundle(QString path, QVariantMap info) : m_path(std::move(path)), m_info(std::move(info)) {}
    QString m_path;
    QVariantMap m_info;
};

// Reads a bundle version text as a decimal integer: an optional "+" or "-" and digits, nothing
// else, within 64 bits.
std::optional<qint64> parseDecimalInteger(const QString &text);

} // namespace NativeAppUpdater
