#include "Platform/Pasteboard/internal/GeneralPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace Platform {

namespace detail {

GeneralPasteboard::GeneralPasteboard(QClipboard *clipboard) : m_clipboard(clipboard), m_watcher(std::make_unique<QObject>())
{
    // dataChanged follows the CLIPBOARD selection only: our writes, and on X11 every change of
    // the selection's owner that XFixes reports (another client copying, the owner going away).
    QObject::connect(m_clipboard, &QClipboard::dataChanged, m_watcher.get(), [this] {
        if (!m_writing)
            ++m_changeCount;
    });
}

GeneralPasteboard::~GeneralPasteboard() = default;

QString GeneralPasteboard::name() const
{
    return QStringLiteral("general");
}

bool GeneralPasteboard::setContents(const PasteboardContents &contents)
{
    if (contents.empty()) {
        clearContents();
        return true;
    }
    if (contents.count(QString()))
        return false;
    auto *mime = new QMimeData;
    for (const auto &[type, bytes] : contents)
        mime->setData(type, bytes);
    m_writing = true;
    m_clipboard->setMimeData(mime, QClipboard::Clipboard); // the clipboard owns `mime` from here
    m_writing = false;
    // The contents are ours only when the selection's owner is now this process. On X11,
    // mimeData() asks the server for the owner and hands back our own object only when it is
    // us: a refused SetSelectionOwner leaves the previous owner's contents in place. (Qt's
    // ownsClipboard() would answer true even then: it looks at its own timestamp.)
    if (m_clipboard->mimeData(QClipboard::Clipboard) != mime)
        return false;
    ++m_changeCount;
    return true;
}

void GeneralPasteboard::clearContents()
{
    m_writing = true;
    m_clipboard->clear(QClipboard::Clipboard);
    m_writing = false;
    ++m_changeCount;
}

QStringList GeneralPasteboard::types() const
{
    const QMimeData *mime = m_clipboard->mimeData(QClipboard::Clipboard);
    return mime ? mime->formats() : QStringList();
}

std::optional<QByteArray> GeneralPasteboard::data(const QString &type) const
{
    const QMimeData *mime = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!mime || type.isEmpty() || !mime->hasFormat(type))
        return std::nullopt;
    return mime->data(type);
}

std::optional<QString> GeneralPasteboard::string() const
{
    // QMimeData::text() also takes the charset variants other clients offer.
    const QMimeData *mime = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!mime || !mime->hasText())
        return std::nullopt;
    return mime->text();
}

} // namespace detail

std::shared_ptr<Pasteboard> generalPasteboard()
{
    // One object for the whole process, so its change count is continuous; dropped with the
    // application, whose clipboard it refers to.
    static std::shared_ptr<Pasteboard> shared;
    if (!shared) {
        Q_ASSERT(qGuiApp);
        shared = std::make_shared<detail::GeneralPasteboard>(QGuiApplication::clipboard());
        QObject::connect(qGuiApp, &QObject::destroyed, [] { shared.reset(); });
    }
    return shared;
}

} // namespace Platform
