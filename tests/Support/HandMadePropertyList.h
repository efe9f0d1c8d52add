#pragma once
// Property lists made by hand, for files no writer of ours would produce: binary ones laid
// out object by object, references and offsets as wide as asked, and XML ones as other tools
// write them.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

namespace HandMade {

inline QByteArray bigEndian(quint64 value, int size)
{
    QByteArray out;
    for (int i = size - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

// A marker byte with its count, the count following as an integer when it is 15 or more.
inline QByteArray marker(int type, quint64 count)
{
    if (count < 15)
        return QByteArray(1, char(type << 4 | int(count)));
    return QByteArray(1, char(type << 4 | 0xF)) + char(0x13) + bigEndian(count, 8);
}

inline QByteArray ascii(const QByteArray &text)
{
    return marker(0x5, quint64(text.size())) + text;
}

inline QByteArray utf16(const QString &text)
{
    QByteArray out = marker(0x6, quint64(text.size()));
    for (const QChar c : text)
        out += bigEndian(c.unicode(), 2);
    return out;
}

inline QByteArray data(const QByteArray &bytes)
{
    return marker(0x4, quint64(bytes.size())) + bytes;
}

struct List {
    QList<QByteArray> objects;
    int refSize = 1;
    quint64 top = 0;

    QByteArray ref(quint64 index) const { return bigEndian(index, refSize); }
    // A container (0xA array, 0xD dictionary) of the given references, in order.
    QByteArray container(int type, const QList<quint64> &refs, quint64 count) const
    {
        QByteArray out = marker(type, count);
        for (quint64 r : refs)
            out += ref(r);
        return out;
    }
    QByteArray array(const QList<quint64> &refs) const { return container(0xA, refs, quint64(refs.size())); }
    QByteArray dictionary(const QList<quint64> &keys, const QList<quint64> &values) const
    {
        return container(0xD, keys + values, quint64(keys.size()));
    }

    QByteArray bytes() const
    {
        QByteArray out("bplist00");
        QList<quint64> offsets;
        for (const QByteArray &object : objects) {
            offsets.append(quint64(out.size()));
            out += object;
        }
        const quint64 table = quint64(out.size());
        for (quint64 offset : offsets)
            out += bigEndian(offset, 4);
        out += QByteArray(6, '\0');
        out += char(4);
        out += char(refSize);
        return out + bigEndian(quint64(objects.size()), 8) + bigEndian(top, 8) + bigEndian(table, 8);
    }
};

// The XML form of a value tree, indented with tabs, dates to the second.
inline QByteArray xmlValue(const QVariant &value, int depth)
{
    const QByteArray indent(depth, '\t');
    const auto escaped = [](const QString &text) { return text.toHtmlEscaped().toUtf8(); };
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        QByteArray out = indent + "<dict>\n";
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            out += indent + "\t<key>" + escaped(it.key()) + "</key>\n" + xmlValue(it.value(), depth + 1);
        return out + indent + "</dict>\n";
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QByteArray out = indent + "<array>\n";
        for (const QVariant &item : value.toList())
            out += xmlValue(item, depth + 1);
        return out + indent + "</array>\n";
    }
    case QMetaType::Bool:
        return indent + (value.toBool() ? "<true/>\n" : "<false/>\n");
    case QMetaType::Double:
        return indent + "<real>" + QByteArray::number(value.toDouble(), 'g', 17) + "</real>\n";
    case QMetaType::QByteArray:
        return indent + "<data>\n" + indent + value.toByteArray().toBase64() + "\n" + indent + "</data>\n";
    case QMetaType::QDateTime:
        return indent + "<date>" + value.toDateTime().toUTC().toString(Qt::ISODate).toUtf8() + "</date>\n";
    case QMetaType::QString:
        return indent + "<string>" + escaped(value.toString()) + "</string>\n";
    default:
        return indent + "<integer>" + QByteArray::number(value.toLongLong()) + "</integer>\n";
    }
}

inline QByteArray xml(const QVariant &root)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\">\n"
           + xmlValue(root, 0) + "</plist>\n";
}

} // namespace HandMade
