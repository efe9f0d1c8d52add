#pragma once
// Pasteboards: the system clipboard and in-memory private pasteboards behind one interface.
//
// Contents are a set of typed byte strings ("image/png" → PNG bytes exactly as encoded,
// "text/plain" → UTF-8). A write replaces the whole contents in one call and either takes
// effect entirely or is refused; a refused write leaves the old contents untouched. Nothing
// here clears before a write: callers build the whole contents first.
//
// `changeCount()` moves on every write and clear that takes effect, by this process or (for the
// general pasteboard) by any other client, so a caller can tell whether anyone touched it.
// Another client's write counts once this process's event loop has seen the server's notice
// of it. Reading what another client owns asks that client and waits for its answer.
//
// The general pasteboard is QClipboard's CLIPBOARD selection. On X11 our contents live inside
// this process and are served to other clients from its event loop; they vanish when it ends.
// Private pasteboards never touch the system clipboard. Everything here is main-thread only.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>

namespace Platform {

namespace PasteboardType {
inline const QString png = QStringLiteral("image/png");
inline const QString plainText = QStringLiteral("text/plain");
} // namespace PasteboardType

// Type → bytes. Types are MIME names; an empty type name is refused by every write.
using PasteboardContents = std::map<QString, QByteArray>;

class PrivatePasteboard;

class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // "general" for the system clipboard; the registry name of a private pasteboard.
    virtual QString name() const = 0;
    virtual long long changeCount() const = 0;

    // Replaces the whole contents. False when refused (the old contents stay as they were);
    // empty contents are a clear.
    virtual bool setContents(const PasteboardContents &contents) = 0;
    // Removes every type.
    virtual void clearContents() = 0;

    virtual QStringList types() const = 0;
    // The bytes of `type`, exactly as written; nothing when the type is absent.
    virtual std::optional<QByteArray> data(const QString &type) const = 0;
    // The plain text (decoded from UTF-8); nothing when there is none.
    virtual std::optional<QString> string() const;

    // Replaces the whole contents with `text` as plain UTF-8 text.
    bool setString(const QString &text);

    // A new private pasteboard with a name no other one has; registered until released.
    static std::shared_ptr<PrivatePasteboard> withUniqueName();
    // The private pasteboard registered under `name`, made when there is none. The same name
    // gives the same object until it is released. The name "general" does not name the system
    // clipboard here: it is a private pasteboard like any other.
    static std::shared_ptr<PrivatePasteboard> named(const QString &name);
};

// The system clipboard (QClipboard, CLIPBOARD selection). Needs a QGuiApplication; made on
// first use and shared by the process.
std::shared_ptr<Pasteboard> generalPasteboard();

// An in-memory pasteboard. Made through Pasteboard::withUniqueName() or Pasteboard::named().
class PrivatePasteboard final : public Pasteboard {
public:
    explicit PrivatePasteboard(QString name);

    QString name() const override { return m_name; }
    long long changeCount() const override { return m_changeCount; }
    bool setContents(const PasteboardContents &contents) override;
    void clearContents() override;
    QStringList types() const override;
    std::optional<QByteArray> data(const QString &type) const override;

    // Drops this pasteboard from the registry: `named()` with its name then makes a new one.
    // Holders of this object may go on using it.
    void releaseGlobally();

    // Tests: while true every write is refused, as a system clipboard refuses one it cannot own.
    void setRefusesWrites(bool refuses) { m_refusesWrites = refuses; }

private:
    QString m_name;
    PasteboardContents m_contents;
    long long m_changeCount = 0;
    bool m_refusesWrites = false;
};

} // namespace Platform
