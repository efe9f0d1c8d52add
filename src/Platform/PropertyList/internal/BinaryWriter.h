#pragma once
// Writes a QVariant tree as a binary property list.
//
// Dictionary keys are written once per distinct text and shared; every other value is its own
// object. The keys come first, then the values children before parents, so the top object is
// the last. Integers take the smallest of 1, 2 and 4 unsigned bytes or 8 signed ones, reals 8
// bytes, dates an 8-byte real; text is 7-bit ASCII when it can be and UTF-16 otherwise.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

#include <vector>

namespace Platform::PropertyListCoding {

class BinaryWriter {
public:
    QByteArray write(const QVariant &root);

private:
    void collectKeys(const QVariant &value, int depth);
    quint64 add(const QVariant &value);
    template <typename Values>
    std::vector<quint64> addAll(const Values &values);
    void beginObject();
    void appendMarker(quint8 type, quint64 count);
    void appendInteger(qint64 value);
    void appendText(const QString &text);
    void appendReference(quint64 index);
    void appendReferences(const std::vector<quint64> &indices);

    QByteArray m_out;
    std::vector<quint64> m_offsets;
    QHash<QString, quint64> m_keys;
    quint64 m_objectCount = 0;
    unsigned m_refSize = 1;
};

} // namespace Platform::PropertyListCoding
