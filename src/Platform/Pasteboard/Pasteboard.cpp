#include "Platform/Pasteboard/Pasteboard.h"

#include <QHash>
#include <QUuid>

namespace Platform {

namespace {

// Registered private pasteboards by name. Held strongly: a named pasteboard outlives its
// holders until it is released, so a later `named()` finds the same contents.
QHash<QString, std::shared_ptr<PrivatePasteboard>> &registry()
{
    static QHash<QString, std::shared_ptr<PrivatePasteboard>> pasteboards;
    return pasteboards;
}

} // namespace

std::optional<QString> Pasteboard::string() const
{
    const std::optional<QByteArray> bytes = data(PasteboardType::plainText);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

bool Pasteboard::setString(const QString &text)
{
    return setContents({{PasteboardType::plainText, text.toUtf8()}});
}

std::shared_ptr<PrivatePasteboard> Pasteboard::withUniqueName()
{
    QString name;
    do {
        name = QStringLiteral("kivaro-pasteboard-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    } while (registry().contains(name));
    return named(name);
}

std::shared_ptr<PrivatePasteboard> Pasteboard::named(const QString &name)
{
    auto &pasteboards = registry();
    auto found = pasteboards.constFind(name);
    if (found != pasteboards.constEnd())
        return *found;
    auto pasteboard = std::make_shared<PrivatePasteboard>(name);
    pasteboards.insert(name, pasteboard);
    return pasteboard;
}

PrivatePasteboard::PrivatePasteboard(QString name) : m_name(std::move(name)) {}

bool PrivatePasteboard::setContents(const PasteboardContents &contents)
{
    if (m_refusesWrites || contents.count(QString()))
        return false;
    m_contents = contents;
    ++m_changeCount;
    return true;
}

void PrivatePasteboard::clearContents()
{
    m_contents.clear();
    ++m_changeCount;
}

QStringList PrivatePasteboard::types() const
{
    QStringList result;
    for (const auto &entry : m_contents)
        result.append(entry.first);
    return result;
}

std::optional<QByteArray> PrivatePasteboard::data(const QString &type) const
{
    auto found = m_contents.find(type);
    if (found == m_contents.end())
        return std::nullopt;
    return found->second;
}

void PrivatePasteboard::releaseGlobally()
{
    auto &pasteboards = registry();
    auto found = pasteboards.find(m_name);
    if (found != pasteboards.end() && found->get() == this)
        pasteboards.erase(found);
}

} // namespace Platform
