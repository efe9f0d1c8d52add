#include "Platform/PropertyList/PropertyList.h"

#include "Platform/PropertyList/internal/BinaryFormat.h"
#include "Platform/PropertyList/internal/BinaryReader.h"
#include "Platform/PropertyList/internal/BinaryWriter.h"
#include "Platform/PropertyList/internal/DecodeBudget.h"
#include "Platform/PropertyList/internal/XmlReader.h"

#include <new>

namespace Platform {

using namespace PropertyListCoding;

bool looksLikeBinaryPropertyList(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayView(kBinaryMagic, kBinaryMagicSize));
}

QVariant decodePropertyList(const QByteArray &bytes, const PropertyListLimits &limits)
{
    if (bytes.size() > limits.maxBytes)
        fail("property list is too large");
    DecodeBudget budget(limits, bytes.size());
    try {
        if (looksLikeBinaryPropertyList(bytes))
            return BinaryReader(bytes, budget).read();
        if (looksLikeXml(bytes))
            return XmlReader(bytes, budget).read();
    } catch (const std::bad_alloc &) {
        fail("property list is too large to decode");
    }
    fail("not a property list");
}

QByteArray encodePropertyList(const QVariant &root)
{
    try {
        return BinaryWriter().write(root);
    } catch (const std::bad_alloc &) {
        fail("property list is too large to encode");
    }
}

} // namespace Platform
