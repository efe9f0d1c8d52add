#include "Platform/PropertyList/internal/BinaryWriter.h"

#include "Platform/PropertyList/internal/BinaryFormat.h"
#include "Platform/PropertyList/internal/DecodeBudget.h"

#include <QDateTime>
#include <QSet>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <limits>

namespace Platform::PropertyListCoding {

namespace {

enum class Kind { boolean, integer, unsignedInteger, real, text, data, date, array, dictionary, unsupported };

Kind kindOf(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return Kind::boolean;
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return Kind::integer;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return Kind::unsignedInteger;
    case QMetaType::Double:
    case QMetaType::Float:
        return Kind::real;
    case QMetaType::QString:
        return Kind::text;
    case QMetaType::QByteArray:
        return Kind::data;
    case QMetaType::QDateTime:
        return Kind::date;
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        return Kind::array;
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
        return Kind::dictionary;
    default:
        return Kind::unsupported;
    }
}

// The smallest of 1, 2, 4 and 8 bytes that holds `value`.
unsigned sizeFor(quint64 value)
{
    if (value <= 0xFF)
        return 1;
    if (value <= 0xFFFF)
        return 2;
    if (value <= 0xFFFF'FFFF)
        return 4;
    return 8;
}

void appendBE(QByteArray &out, quint64 value, unsigned size)
{
    char bytes[8];
    for (unsigned i = 0; i < size; ++i)
        bytes[i] = char((value >> (8 * (size - 1 - i))) & 0xFF);
    out.append(bytes, size);
}

// Other readers refuse a file holding half a surrogate pair: it is written as the replacement
// character, and the rest of the text is kept.
QString withoutLoneSurrogates(const QString &text)
{
    QString result;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < size && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            if (result.isNull())
                result = text;
            result[i] = QChar(QChar::ReplacementCharacter);
        }
    }
    return result.isNull() ? text : result;
}

} // namespace

QByteArray BinaryWriter::write(const QVariant &root)
{
    collectKeys(root, 0);
    const quint64 total = m_objectCount + quint64(m_keys.size());
    m_refSize = sizeFor(total - 1);
    m_out = QByteArray(kBinaryMagic, kBinaryMagicSize);
    m_offsets.reserve(total);

    std::vector<const QString *> keys(m_keys.size());
    for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it)
        keys[it.value()] = &it.key();
    for (const QString *key : keys) {
        beginObject();
        appendText(*key);
    }
    const quint64 top = add(root);

    const quint64 tableOffset = quint64(m_out.size());
    const unsigned offsetSize = sizeFor(m_offsets.back());
    for (quint64 offset : m_offsets)
        appendBE(m_out, offset, offsetSize);
    m_out.append(QByteArray(6, '\0'));
    m_out.append(char(offsetSize));
    m_out.append(char(m_refSize));
    appendBE(m_out, total, 8);
    appendBE(m_out, top, 8);
    appendBE(m_out, tableOffset, 8);
    return std::move(m_out);
}

// Checks every value, counts the value objects and numbers the distinct keys.
void BinaryWriter::collectKeys(const QVariant &value, int depth)
{
    // The top value is at depth 0 here and at depth 1 for the reader.
    if (depth + 1 > kPropertyListMaxDepth)
        fail("value is nested too deeply for a property list");
    ++m_objectCount;
    switch (kindOf(value)) {
    case Kind::unsupported:
        fail("value of a type a property list cannot hold");
    case Kind::unsignedInteger:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            fail("integer too large for a property list");
        break;
    case Kind::text:
        // A NUL would cut the text short wherever it is handed on as a C string.
        if (value.toString().contains(QChar(0)))
            fail("text with a NUL character cannot be stored in a property list");
        break;
    case Kind::date: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid() || std::abs(double(date.toMSecsSinceEpoch() - kDateEpochMSecs)) > kMaxDateMSecs)
            fail("date a property list cannot hold");
        break;
    }
    case Kind::array:
        for (const QVariant &item : value.toList())
            collectKeys(item, depth + 1);
        break;
    case Kind::dictionary: {
        const QVariantMap map = value.toMap();
        QSet<QString> replaced;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it.key().contains(QChar(0)))
                fail("key with a NUL character cannot be stored in a property list");
            // Two keys that differ only in half a surrogate pair would become one.
            const QString key = withoutLoneSurrogates(it.key());
            if (key != it.key()) {
                if (map.contains(key) || replaced.contains(key))
                    fail("keys that differ only in a lone surrogate cannot be stored in a property list");
                replaced.insert(key);
            }
            if (!m_keys.contains(key))
                m_keys.insert(key, quint64(m_keys.size()));
            collectKeys(it.value(), depth + 1);
        }
        break;
    }
    default:
        break;
    }
}

// Writes `value` after its children; returns its object index.
quint64 BinaryWriter::add(const QVariant &value)
{
    switch (kindOf(value)) {
    case Kind::array: {
        const std::vector<quint64> children = addAll(value.toList());
        beginObject();
        appendMarker(Marker::array, children.size());
        appendReferences(children);
        break;
    }
    case Kind::dictionary: {
        const QVariantMap map = value.toMap();
        const std::vector<quint64> children = addAll(map);
        beginObject();
        appendMarker(Marker::dictionary, children.size());
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            appendReference(m_keys.value(withoutLoneSurrogates(it.key())));
        appendReferences(children);
        break;
    }
    case Kind::boolean:
        beginObject();
        m_out.append(char(value.toBool() ? Marker::trueValue : Marker::falseValue));
        break;
    case Kind::integer:
    case Kind::unsignedInteger:
        beginObject();
        appendInteger(value.toLongLong());
        break;
    case Kind::real:
        beginObject();
        m_out.append(char(Marker::real << 4 | 3));
        appendBE(m_out, std::bit_cast<quint64>(value.toDouble()), 8);
        break;
    case Kind::date:
        beginObject();
        m_out.append(char(Marker::date << 4 | 3));
        appendBE(m_out, std::bit_cast<quint64>(double(value.toDateTime().toMSecsSinceEpoch() - kDateEpochMSecs) / 1000.0), 8);
        break;
    case Kind::text:
        beginObject();
        appendText(value.toString());
        break;
    case Kind::data: {
        const QByteArray bytes = value.toByteArray();
        beginObject();
        appendMarker(Marker::data, quint64(bytes.size()));
        m_out.append(bytes);
        break;
    }
    case Kind::unsupported:
        fail("value of a type a property list cannot hold");
    }
    return m_offsets.size() - 1;
}

template <typename Values>
std::vector<quint64> BinaryWriter::addAll(const Values &values)
{
    std::vector<quint64> indices;
    indices.reserve(size_t(values.size()));
    for (const QVariant &item : values)
        indices.push_back(add(item));
    return indices;
}

void BinaryWriter::beginObject()
{
    m_offsets.push_back(quint64(m_out.size()));
}

void BinaryWriter::appendMarker(quint8 type, quint64 count)
{
    if (count < 0xF) {
        m_out.append(char(type << 4 | count));
        return;
    }
    m_out.append(char(type << 4 | 0xF));
    const unsigned size = sizeFor(count);
    m_out.append(char(Marker::integer << 4 | std::countr_zero(size)));
    appendBE(m_out, count, size);
}

// One, two and four bytes are read as unsigned, eight as two's complement.
void BinaryWriter::appendInteger(qint64 value)
{
    const unsigned size = value < 0 ? 8 : sizeFor(quint64(value));
    m_out.append(char(Marker::integer << 4 | std::countr_zero(size)));
    appendBE(m_out, quint64(value), size);
}

void BinaryWriter::appendText(const QString &text)
{
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        appendMarker(Marker::asciiString, quint64(text.size()));
        m_out.append(text.toLatin1());
        return;
    }
    const QString whole = withoutLoneSurrogates(text);
    appendMarker(Marker::utf16String, quint64(whole.size()));
    const qsizetype start = m_out.size();
    m_out.resize(start + 2 * whole.size());
    qToBigEndian<char16_t>(whole.utf16(), whole.size(), m_out.data() + start);
}

void BinaryWriter::appendReference(quint64 index)
{
    appendBE(m_out, index, m_refSize);
}

void BinaryWriter::appendReferences(const std::vector<quint64> &indices)
{
    for (quint64 index : indices)
        appendReference(index);
}

} // namespace Platform::PropertyListCoding
