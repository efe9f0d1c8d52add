#include "FuzzTargets.h"

#include "Platform/PropertyList/PropertyList.h"

namespace Kivaro::Fuzz {

namespace {

// True when no string or key below `value` holds half a surrogate pair, which other readers
// refuse.
bool wholeSurrogatePairs(const QVariant &value)
{
    const auto whole = [](const QString &text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else if (text[i].isSurrogate())
                return false;
        }
        return true;
    };
    switch (value.typeId()) {
    case QMetaType::QString:
        return whole(value.toString());
    case QMetaType::QVariantList:
        for (const QVariant &item : value.toList())
            if (!wholeSurrogatePairs(item))
                return false;
        return true;
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            if (!whole(it.key()) || !wholeSurrogatePairs(it.value()))
                return false;
        return true;
    }
    default:
        return true;
    }
}

} // namespace

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
    check(wholeSurrogatePairs(decoded), "a decoded property list holds no half surrogate pair");
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
