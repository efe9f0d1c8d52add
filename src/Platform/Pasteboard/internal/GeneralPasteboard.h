#pragma once
// The system clipboard behind the Pasteboard interface (see Pasteboard.h for the contract).

#include "Platform/Pasteboard/Pasteboard.h"

#include <QObject>

#include <memory>

class QClipboard;

namespace Platform::detail {

class GeneralPasteboard final : public Pasteboard {
public:
    explicit GeneralPasteboard(QClipboard *clipboard);
    ~GeneralPasteboard() override;

    QString name() const override;
    long long changeCount() const override { return m_changeCount; }
    bool setContents(const PasteboardContents &contents) override;
    void clearContents() override;
    QStringList types() const override;
    std::optional<QByteArray> data(const QString &type) const override;
    std::optional<QString> string() const override;

private:
    QClipboard *m_clipboard;
    // Receiver of the clipboard's change signal; gone before this object's fields.
    std::unique_ptr<QObject> m_watcher;
    long long m_changeCount = 0;
    // Our own write or clear counts once, however often the clipboard signals it.
    bool m_writing = false;
};

} // namespace Platform::detail
