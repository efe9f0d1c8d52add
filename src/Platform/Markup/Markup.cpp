#include "Platform/Markup/Markup.h"

#include "Platform/Markup/internal/MarkupCoding.h"
#include "Platform/PropertyList/PropertyList.h"

#include "KivaroCore/Localization.h"

namespace Platform {

MarkupDataError::MarkupDataError(const QString &message, const QString &detail)
    : std::runtime_error(message.toStdString()), m_message(message), m_detail(detail)
{
}

QByteArray Markup::dataRepresentation() const
{
    return encodePropertyList(MarkupCoding::encode(*this));
}

Markup Markup::fromDataRepresentation(const QByteArray &data, const MarkupDataLimits &limits)
{
    return fromParsedRepresentation(parseDataRepresentation(data, limits), limits);
}

QVariant Markup::parseDataRepresentation(const QByteArray &data, const MarkupDataLimits &limits)
{
    if (data.size() > limits.maxBytes)
        throw MarkupDataError(Kivaro::kivaroCopy("无法读取标注数据，文件可能已损坏。"), QStringLiteral("markup data too large"));
    try {
        // Markup nests eight levels deep (root, elements, element, text, runs, run, paragraph,
        // and the values inside).
        return decodePropertyList(data, PropertyListLimits{limits.maxBytes, 8, 100 * qint64(limits.maxElements) + 100'000});
    } catch (const PropertyListError &error) {
        throw MarkupDataError(Kivaro::kivaroCopy("无法读取标注数据，文件可能已损坏。"), QString::fromUtf8(error.what()));
    }
}

Markup Markup::fromParsedRepresentation(const QVariant &root, const MarkupDataLimits &limits)
{
    return MarkupCoding::decode(root, limits);
}

} // namespace Platform
