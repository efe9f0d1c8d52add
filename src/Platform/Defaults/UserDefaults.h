#pragma once
// Typed preference domains.
//
// A domain is one binary property list, `$XDG_CONFIG_HOME/kivaro/<domain>.plist` (the folder
// is private: 0700, refused when it is a symbolic link; files are 0600). A domain is read once
// per process and written atomically after every change. Every UserDefaults for one domain
// shares the same store, so a change made through one is seen by all.
//
// Values keep their property-list types (see PropertyList.h): a stored string is not stored
// data, a Boolean is not a number. The typed getters follow the coercion rules callers were
// written against: `boolean` is true for Boolean true, a non-zero number, or a string whose
// first significant character is Y, y, T, t or a digit 1-9; `integer` and `real` read numbers,
// Booleans and the leading number of a string; `string` returns strings and the text of
// numbers. All getters have a neutral value for a missing or unsuitable value and never fail.
//
// A domain file may be a binary or an XML property list. A file that cannot be read (corrupt,
// foreign, too large, or not a regular file: a FIFO, a device, a symbolic link) reads as an
// empty domain and stays untouched until the next change; that write first moves it aside as
// "<domain>.plist.corrupt" so nothing the user had is silently lost.
//
// A change is kept only once it is on disk: when the domain cannot be written (the folder is
// not a folder, the disk is full, ...) `set` and `remove` throw DefaultsWriteError and the
// domain reads as before, so the process never believes in a value the next launch will not
// see.

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <stdexcept>

namespace Platform {

namespace detail {
class DefaultsStore;
}

// A domain could not be written. `what()` gives the reason in the system's words, for logs;
// callers tell the user that the setting could not be saved.
class DefaultsWriteError final : public std::runtime_error {
public:
    DefaultsWriteError(QString path, const QString &reason);
    // The domain's file.
    const QString &path() const { return m_path; }

private:
    QString m_path;
};

// Emits `changed(key)` after a domain's value was set or removed in this process.
class DefaultsNotifier : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void changed(const QString &key);
};

class UserDefaults final {
public:
    static constexpr const char *standardDomain = "app.kivaro.Kivaro";
    static constexpr const char *legacyDomain = "app.kivaro.KivaroPrototype";
    static constexpr const char *tellumoDomain = "app.tellumo.Tellumo";

    // The application's own domain.
    static UserDefaults standard();
    // A named suite: its own file beside the standard domain.
    static UserDefaults suite(const QString &name);
    // A named suite kept in `folder` (an absolute path) instead of the preference folder: a
    // verification run keeps its domains under its evidence folder. Without a usable folder the
    // suite starts empty and every write throws DefaultsWriteError.
    static UserDefaults suite(const QString &name, const QString &folder);
    // The whole dictionary of another domain as stored on disk, or nothing when the domain
    // has no readable file. Values written in this process are included.
    static std::optional<QVariantMap> persistentDomain(const QString &name);
    // Removes a domain's file and empties its store. Throws DefaultsWriteError when the file
    // stays.
    static void removePersistentDomain(const QString &name);
    // Forgets what this process read of a domain, so that its next use reads the file again
    // (tests and fuzzing read many files in one process). UserDefaults made before keep their
    // store, which no longer shares changes with those made after.
    static void forgetDomain(const QString &name);
    // `$XDG_CONFIG_HOME/kivaro`, resolved on every call.
    static QString folder();

    QString domain() const;

    bool contains(const QString &key) const;
    // The stored value, or an invalid QVariant.
    QVariant object(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    std::optional<QVariantList> array(const QString &key) const;
    std::optional<QVariantMap> dictionary(const QString &key) const;
    bool boolean(const QString &key) const;
    qint64 integer(const QString &key) const;
    double real(const QString &key) const;
    QVariantMap dictionaryRepresentation() const;

    // Stores `value` and writes the domain. Returns false, storing nothing, for a value a
    // property list cannot hold (see PropertyList.h). Throws DefaultsWriteError, storing nothing, when the domain
    // cannot be written.
    bool set(const QString &key, const QVariant &value);
    // Throws DefaultsWriteError, removing nothing, when the domain cannot be written.
    void remove(const QString &key);

    DefaultsNotifier *notifier() const;

    bool operator==(const UserDefaults &other) const { return m_store == other.m_store; }

private:
    explicit UserDefaults(std::shared_ptr<detail::DefaultsStore> store);
    std::shared_ptr<detail::DefaultsStore> m_store;
};

} // namespace Platform
