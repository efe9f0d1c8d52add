#include "Platform/PropertyList/internal/BinaryReader.h"

#include "Platform/PropertyList/internal/BinaryFormat.h"

#include <QDateTime>
#include <QTimeZone>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace Platform::PropertyListCoding {

// The millisecond nearest to `seconds` (halves away from zero), from its exact value: a
// product in double precision can be off by half a millisecond in far-off years.
qint64 nearestMilliseconds(double seconds)
{
    int exponent = 0;
    const double fraction = std::frexp(seconds, &exponent);
    // seconds = mantissa * 2^(exponent - 53), the mantissa an integer below 2^53.
    const qint64 mantissa = qint64(std::ldexp(fraction, 53));
    const int shift = exponent - 53;
    const __int128 scaled = __int128(mantissa) * 1000;
    if (shift >= 0)
        return qint64(scaled << shift);
    if (shift < -100)
        return 0;
    const unsigned __int128 magnitude = scaled < 0 ? (unsigned __int128)(-scaled) : (unsigned __int128)scaled;
    const unsigned __int128 half = (unsigned __int128)1 << (-shift - 1);
    const qint64 rounded = qint64((magnitude + half) >> -shift);
    return scaled < 0 ? -rounded : rounded;
}

BinaryReader::BinaryReader(const QByteArray &bytes, DecodeBudget &budget)
    : m_data(reinterpret_cast<const unsigned char *>(bytes.constData())), m_size(quint64(bytes.size())), m_budget(budget)
{
}

QVariant BinaryReader::read()
{
    if (m_size < kBinaryMagicSize + kTrailerSize || std::memcmp(m_data, kBinaryMagic, kBinaryMagicSize) != 0)
        fail("not a binary property list");
    const quint64 trailer = m_size - kTrailerSize;
    m_offsetSize = m_data[trailer + 6];
    m_refSize = m_data[trailer + 7];
    m_objectCount = readBE(trailer + 8, 8);
    const quint64 top = readBE(trailer + 16, 8);
    m_tableOffset = readBE(trailer + 24, 8);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
        fail("bad property-list trailer");
    if (m_objectCount == 0 || top >= m_objectCount || m_tableOffset <= quint64(kBinaryMagicSize) || m_tableOffset >= trailer)
        fail("bad property-list trailer");
    if (m_objectCount > (trailer - m_tableOffset) / m_offsetSize)
        fail("property-list offset table out of bounds");
    m_budget.takeNodes(1);
    return object(top, 1);
}

// The node of each object is taken by whoever refers to it: read() for the top, its container
// for every other.
QVariant BinaryReader::object(quint64 index, int depth)
{
    m_budget.enter(depth);
    const quint64 offset = objectOffset(index);
    const unsigned type = m_data[offset] >> 4;
    const unsigned info = m_data[offset] & 0x0F;
    switch (type) {
    case 0x0:
        if (m_data[offset] == Marker::falseValue || m_data[offset] == Marker::trueValue)
            return QVariant(m_data[offset] == Marker::trueValue);
        fail("unsupported property-list object");
    case Marker::integer:
        return integer(offset + 1, info);
    case Marker::real:
        return real(offset + 1, info);
    case Marker::date:
        return date(offset + 1, info);
    case Marker::data: {
        quint64 start = offset + 1;
        const quint64 count = length(info, start);
        need(start, count);
        m_budget.takeBytes(count);
        return QByteArray(reinterpret_cast<const char *>(m_data + start), qsizetype(count));
    }
    case Marker::asciiString:
    case Marker::utf16String:
        return text(offset);
    case Marker::array:
    case Marker::set:
        return array(offset + 1, info, depth);
    case Marker::dictionary:
        return dictionary(offset + 1, info, depth);
    default:
        fail("unsupported property-list object");
    }
}

QVariant BinaryReader::integer(quint64 start, unsigned info) const
{
    if (info > 4)
        fail("bad property-list integer");
    if (info < 4) {
        // One, two and four bytes are unsigned; eight bytes are two's complement.
        need(start, quint64(1) << info);
        return QVariant::fromValue<qint64>(qint64(readBE(start, 1u << info)));
    }
    // Sixteen bytes hold values beyond the signed 64-bit range, which a qint64 cannot carry:
    // only a sign-extended 64-bit value is taken.
    need(start, 16);
    const quint64 high = readBE(start, 8);
    const quint64 low = readBE(start + 8, 8);
    const bool negative = (low >> 63) != 0;
    if (high != (negative ? std::numeric_limits<quint64>::max() : 0))
        fail("property-list integer out of range");
    return QVariant::fromValue<qint64>(qint64(low));
}

QVariant BinaryReader::real(quint64 start, unsigned info) const
{
    if (info == 2) {
        need(start, 4);
        return QVariant(double(std::bit_cast<float>(quint32(readBE(start, 4)))));
    }
    if (info == 3) {
        need(start, 8);
        return QVariant(std::bit_cast<double>(readBE(start, 8)));
    }
    fail("bad property-list real");
}

QVariant BinaryReader::date(quint64 start, unsigned info) const
{
    if (info != 3)
        fail("bad property-list date");
    need(start, 8);
    const double seconds = std::bit_cast<double>(readBE(start, 8));
    if (!(std::fabs(seconds) * 1000.0 <= kMaxDateMSecs))
        fail("property-list date out of range");
    return QVariant(QDateTime::fromMSecsSinceEpoch(nearestMilliseconds(seconds) + kDateEpochMSecs, QTimeZone::utc()));
}

// A string object, as a value or a key. A NUL inside is refused: it would cut the text short
// wherever it is handed on as a C string.
QString BinaryReader::text(quint64 offset)
{
    const unsigned type = m_data[offset] >> 4;
    quint64 start = offset + 1;
    const quint64 count = length(m_data[offset] & 0x0F, start);
    if (type == Marker::asciiString) {
        need(start, count);
        m_budget.takeBytes(count * 2);
        const char *chars = reinterpret_cast<const char *>(m_data + start);
        if (std::memchr(chars, 0, count) != nullptr)
            fail("property-list string holds a NUL character");
        // Writers keep this form to 7-bit text; anything above reads as UTF-8, as it always has.
        return QString::fromUtf8(chars, qsizetype(count));
    }
    if (type != Marker::utf16String)
        fail("property-list dictionary key is not a string");
    if (count > (m_tableOffset - start) / 2)
        fail("property-list object out of bounds");
    m_budget.takeBytes(count * 2);
    QString result(qsizetype(count), Qt::Uninitialized);
    QChar *out = result.data();
    for (quint64 i = 0; i < count; ++i) {
        const char16_t unit = char16_t(readBE(start + 2 * i, 2));
        if (unit == 0)
            fail("property-list string holds a NUL character");
        out[i] = QChar(unit);
    }
    // Half a surrogate pair (an earlier build wrote them) reads as the replacement character.
    for (quint64 i = 0; i < count; ++i) {
        if (out[i].isHighSurrogate() && i + 1 < count && out[i + 1].isLowSurrogate())
            ++i;
        else if (out[i].isSurrogate())
            out[i] = QChar(QChar::ReplacementCharacter);
    }
    return result;
}

QVariantList BinaryReader::array(quint64 start, unsigned info, int depth)
{
    const quint64 count = references(info, start, 1);
    m_budget.takeNodes(count);
    QVariantList list;
    list.reserve(qsizetype(count));
    for (quint64 i = 0; i < count; ++i)
        list.append(object(refAt(start, i), depth + 1));
    return list;
}

QVariantMap BinaryReader::dictionary(quint64 start, unsigned info, int depth)
{
    const quint64 count = references(info, start, 2);
    m_budget.takeNodes(count * 2);
    QVariantMap map;
    for (quint64 i = 0; i < count; ++i) {
        const QString key = text(objectOffset(refAt(start, i)));
        map.insert(key, object(refAt(start, count + i), depth + 1));
    }
    return map;
}

quint64 BinaryReader::readBE(quint64 at, unsigned size) const
{
    quint64 value = 0;
    for (unsigned i = 0; i < size; ++i)
        value = (value << 8) | m_data[at + i];
    return value;
}

// Objects lie between the magic and the offset table.
void BinaryReader::need(quint64 start, quint64 count) const
{
    if (start > m_tableOffset || count > m_tableOffset - start)
        fail("property-list object out of bounds");
}

quint64 BinaryReader::objectOffset(quint64 index) const
{
    if (index >= m_objectCount)
        fail("property-list reference out of bounds");
    const quint64 offset = readBE(m_tableOffset + index * m_offsetSize, m_offsetSize);
    if (offset < quint64(kBinaryMagicSize) || offset >= m_tableOffset)
        fail("property-list offset out of bounds");
    return offset;
}

quint64 BinaryReader::refAt(quint64 start, quint64 i) const
{
    return readBE(start + i * m_refSize, m_refSize);
}

// Reads the element count of a variable-length object; advances `start` past it.
quint64 BinaryReader::length(unsigned info, quint64 &start) const
{
    if (info != 0xF)
        return info;
    need(start, 1);
    const unsigned marker = m_data[start];
    if ((marker >> 4) != Marker::integer || (marker & 0x0F) > 3)
        fail("bad property-list length");
    const unsigned size = 1u << (marker & 0x0F);
    need(start + 1, size);
    const quint64 value = readBE(start + 1, size);
    start += 1 + size;
    return value;
}

// The element count of a container whose elements take `perElement` references each, after
// checking that all of them lie inside the object area.
quint64 BinaryReader::references(unsigned info, quint64 &start, quint64 perElement) const
{
    const quint64 count = length(info, start);
    need(start, 0);
    if (count > (m_tableOffset - start) / m_refSize / perElement)
        fail("property-list container out of bounds");
    return count;
}

} // namespace Platform::PropertyListCoding
