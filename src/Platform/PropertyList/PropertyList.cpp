#include "Platform/PropertyList/PropertyList.h"

#include <QDateTime>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace Platform {

namespace {

constexpr char kMagic[] = "bplist00";
constexpr qsizetype kTrailerSize = 32;
// Seconds from 1970-01-01 to 2001-01-01, the epoch of property-list dates.
constexpr qint64 kDateEpochOffset = 978307200;

[[noreturn]] void fail(const char *what)
{
    throw PropertyListError(what);
}

// Walks the object graph of a binary property list without building it, so that libplist is
// only handed inputs whose size, depth and expanded node count are known to be sane.
class Validator {
public:
    Validator(const QByteArray &bytes, const PropertyListLimits &limits)
        : m_data(reinterpret_cast<const unsigned char *>(bytes.constData())), m_size(quint64(bytes.size())), m_limits(limits)
    {
    }

    void run()
    {
        if (m_size < sizeof(kMagic) - 1 + kTrailerSize || std::memcmp(m_data, kMagic, sizeof(kMagic) - 1) != 0)
            fail("not a binary property list");
        const unsigned char *trailer = m_data + m_size - kTrailerSize;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_objectCount = readBE(trailer + 8, 8);
        const quint64 top = readBE(trailer + 16, 8);
        m_tableOffset = readBE(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            fail("bad property-list trailer");
        if (m_objectCount == 0 || top >= m_objectCount || m_tableOffset < 8 || m_tableOffset >= m_size - kTrailerSize)
            fail("bad property-list trailer");
        const quint64 tableRoom = m_size - kTrailerSize - m_tableOffset;
        if (m_objectCount > tableRoom / m_offsetSize)
            fail("property-list offset table out of bounds");

        struct Pending {
            quint64 index;
            int depth;
        };
        std::vector<Pending> stack{{top, 1}};
        qint64 nodes = 0;
        while (!stack.empty()) {
            const Pending item = stack.back();
            stack.pop_back();
            if (++nodes > m_limits.maxNodes)
                fail("property list has too many elements");
            if (item.depth > m_limits.maxDepth)
                fail("property list is nested too deeply");
            const quint64 offset = objectOffset(item.index);
            const unsigned type = m_data[offset] >> 4;
            const unsigned info = m_data[offset] & 0x0F;
            switch (type) {
            case 0x0:
                if (info != 0x0 && info != 0x8 && info != 0x9 && info != 0xF)
                    fail("bad property-list object");
                break;
            case 0x1:
                if (info > 4)
                    fail("bad property-list integer");
                need(offset + 1, quint64(1) << info);
                break;
            case 0x2:
                if (info != 2 && info != 3)
                    fail("bad property-list real");
                need(offset + 1, quint64(1) << info);
                break;
            case 0x3:
                if (info != 3)
                    fail("bad property-list date");
                need(offset + 1, 8);
                break;
            case 0x4:
            case 0x5:
            case 0x6: {
                quint64 start = offset + 1;
                const quint64 count = length(info, start);
                const quint64 unit = type == 0x6 ? 2 : 1;
                if (count > (m_tableOffset - start) / unit)
                    fail("property-list object out of bounds");
                break;
            }
            case 0xA:
            case 0xC:
            case 0xD: {
                quint64 start = offset + 1;
                const quint64 count = length(info, start);
                const quint64 refs = type == 0xD ? count * 2 : count;
                if (count > m_tableOffset || refs > (m_tableOffset - start) / m_refSize)
                    fail("property-list container out of bounds");
                // Children count against the limit when they are queued, not only when visited, so
                // a container referring to itself many times cannot grow the queue unbounded.
                if (count > quint64(m_limits.maxNodes) || qint64(count) + nodes + qint64(stack.size()) > m_limits.maxNodes)
                    fail("property list has too many elements");
                for (quint64 i = 0; i < count; ++i) {
                    if (type == 0xD) {
                        const quint64 key = readRef(start + i * m_refSize);
                        const unsigned keyType = m_data[objectOffset(key)] >> 4;
                        if (keyType != 0x5 && keyType != 0x6)
                            fail("property-list dictionary key is not a string");
                        ++nodes;
                        stack.push_back({readRef(start + (count + i) * m_refSize), item.depth + 1});
                    } else {
                        stack.push_back({readRef(start + i * m_refSize), item.depth + 1});
                    }
                }
                break;
            }
            default:
                fail("unsupported property-list object");
            }
        }
    }

private:
    quint64 readBE(const unsigned char *p, unsigned size) const
    {
        quint64 value = 0;
        for (unsigned i = 0; i < size; ++i)
            value = (value << 8) | p[i];
        return value;
    }
    void need(quint64 start, quint64 count) const
    {
        if (start > m_tableOffset || count > m_tableOffset - start)
            fail("property-list object out of bounds");
    }
    quint64 objectOffset(quint64 index) const
    {
        if (index >= m_objectCount)
            fail("property-list reference out of bounds");
        const quint64 offset = readBE(m_data + m_tableOffset + index * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= m_tableOffset)
            fail("property-list offset out of bounds");
        return offset;
    }
    quint64 readRef(quint64 at) const
    {
        need(at, m_refSize);
        return readBE(m_data + at, m_refSize);
    }
    // Reads the element count of a variable-length object; advances `start` past it.
    quint64 length(unsigned info, quint64 &start) const
    {
        if (info != 0xF)
            return info;
        need(start, 1);
        const unsigned marker = m_data[start];
        if ((marker >> 4) != 0x1 || (marker & 0x0F) > 3)
            fail("bad property-list length");
        const unsigned size = 1u << (marker & 0x0F);
        need(start + 1, size);
        const quint64 value = readBE(m_data + start + 1, size);
        start += 1 + size;
        return value;
    }

    const unsigned char *m_data;
    quint64 m_size;
    const PropertyListLimits &m_limits;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_tableOffset = 0;
};

struct PlistDeleter {
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct CharDeleter {
    void operator()(char *p) const { std::free(p); }
};
using CString = std::unique_ptr<char, CharDeleter>;

QVariant toVariant(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // Binary property lists store negative integers as 8-byte two's complement.
        return QVariant::fromValue<qint64>(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_STRING: {
        char *raw = nullptr;
        plist_get_string_val(node, &raw);
        CString text(raw);
        return QVariant(QString::fromUtf8(raw ? raw : ""));
    }
    case PLIST_DATA: {
        char *raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        CString bytes(raw);
        return QVariant(QByteArray(raw ? raw : "", raw ? qsizetype(length) : 0));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        const qint64 ms = (qint64(sec) + kDateEpochOffset) * 1000 + usec / 1000;
        return QVariant(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i)
            list.append(toVariant(plist_array_get_item(node, i)));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            CString keyText(key);
            map.insert(QString::fromUtf8(key ? key : ""), toVariant(value));
        }
        std::free(it);
        return map;
    }
    default:
        fail("unsupported property-list object");
    }
}

plist_t fromVariant(const QVariant &value, int depth)
{
    if (depth > 64)
        fail("value is nested too deeply for a property list");
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return plist_new_uint(static_cast<uint64_t>(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString: {
        // The library stores strings as C strings: a NUL would silently cut the text short.
        const QString text = value.toString();
        if (text.contains(QChar(0)))
            fail("text with a NUL character cannot be stored in a property list");
        const QByteArray utf8 = text.toUtf8();
        return plist_new_string(utf8.constData());
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch();
        const qint64 sec = ms / 1000 - kDateEpochOffset - (ms % 1000 < 0 ? 1 : 0);
        const qint64 usec = ((ms % 1000) + 1000) % 1000 * 1000;
        return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(usec));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        PlistPtr array(plist_new_array());
        for (const QVariant &item : value.toList())
            plist_array_append_item(array.get(), fromVariant(item, depth + 1));
        return static_cast<plist_t>(array.release());
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        PlistPtr dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it.key().contains(QChar(0)))
                fail("key with a NUL character cannot be stored in a property list");
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), fromVariant(it.value(), depth + 1));
        }
        return static_cast<plist_t>(dict.release());
    }
    default:
        fail("value of a type a property list cannot hold");
    }
}

} // namespace

bool looksLikeBinaryPropertyList(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayView(kMagic, sizeof(kMagic) - 1));
}

QVariant decodePropertyList(const QByteArray &bytes, const PropertyListLimits &limits)
{
    if (bytes.size() > limits.maxBytes)
        fail("property list is too large");
    if (bytes.size() > qsizetype(UINT32_MAX))
        fail("property list is too large");
    Validator(bytes, limits).run();
    plist_t raw = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &raw);
    if (!raw)
        fail("malformed binary property list");
    PlistPtr root(raw);
    return toVariant(raw);
}

QByteArray encodePropertyList(const QVariant &root)
{
    PlistPtr node(fromVariant(root, 0));
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_bin(static_cast<plist_t>(node.get()), &out, &length);
    if (!out)
        fail("property list could not be encoded");
    QByteArray bytes(out, qsizetype(length));
    plist_to_bin_free(out);
    return bytes;
}

} // namespace Platform
