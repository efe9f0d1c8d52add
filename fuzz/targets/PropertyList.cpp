#include "FuzzTargets.h"

#include "Platform/PropertyList/PropertyList.h"

namespace Kivaro::Fuzz {

int fuzzPropertyList(const uint8_t *data, size_t size)
{
    using namespace Platform;
    QVariant decoded;
    try {
        decoded = decodePropertyList(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const PropertyListError &) {
        return 0;
    }
    check(decoded.isValid(), "a decoded property list has a value");
    // Preferences write back every value they read; the encoder refuses (with its error) only
    // what a property list cannot hold.
    QByteArray encoded;
    try {
        encoded = encodePropertyList(decoded);
    } catch (const PropertyListError &) {
        return 0;
    }
    // Written again, the values stay within the depth and expanded node count they were read
    // within; only the size can grow, when shared objects are written out.
    if (encoded.size() > PropertyListLimits{}.maxBytes)
        return 0;
    QVariant again;
    try {
        again = decodePropertyList(encoded);
    } catch (const PropertyListError &) {
        check(false, "what encodePropertyList writes decodes again");
    }
    check(sameValue(decoded, again), "values written by encodePropertyList read back unchanged");
    return 0;
}

} // namespace Kivaro::Fuzz
