#pragma once
// Reads a binary property list straight into QVariants, checking every offset, length and
// reference against the file and taking each node and each byte of text and data from the
// budget before it is built. A reference cycle ends at the depth bound.

#include "Platform/PropertyList/internal/DecodeBudget.h"

#include <QByteArray>
#include <QVariant>

namespace Platform::PropertyListCoding {

// The millisecond nearest to a date's seconds, halves away from zero, from the exact value.
qint64 nearestMilliseconds(double seconds);

class BinaryReader {
public:
    BinaryReader(const QByteArray &bytes, DecodeBudget &budget);
    QVariant read();

private:
    QVariant object(quint64 index, int depth);
    QVariant integer(quint64 start, unsigned info) const;
    QVariant real(quint64 start, unsigned info) const;
    QVariant date(quint64 start, unsigned info) const;
    QString text(quint64 offset);
    QVariantList array(quint64 start, unsigned info, int depth);
    QVariantMap dictionary(quint64 start, unsigned info, int depth);

    quint64 readBE(quint64 at, unsigned size) const;
    void need(quint64 start, quint64 count) const;
    quint64 objectOffset(quint64 index) const;
    quint64 refAt(quint64 start, quint64 i) const;
    quint64 length(unsigned info, quint64 &start) const;
    quint64 references(unsigned info, quint64 &start, quint64 perElement) const;

    const unsigned char *m_data;
    quint64 m_size;
    DecodeBudget &m_budget;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_tableOffset = 0;
};

} // namespace Platform::PropertyListCoding
