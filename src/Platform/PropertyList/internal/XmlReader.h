#pragma once
// Reads an XML property list (<plist version="1.0"> holding one value) into QVariants, under
// the same budget as the binary reader.
//
// QXmlStreamReader does the XML: it is linear, keeps no tree, fetches no external DTD and
// refuses malformed documents. A document type that declares entities is refused outright, and
// so is a reference to an entity the document does not declare, so no entity is ever expanded;
// the five predefined entities and character references are read as usual (&#0; is malformed
// XML). Integers must fit a qint64 (decimal, or hexadecimal after "0x"); dates are ISO 8601 as
// XML property lists write them, in UTC, the "Z" optional. A document declared in US-ASCII that
// holds a byte above 127 is refused whole, as other malformed documents are.

#include "Platform/PropertyList/internal/DecodeBudget.h"

#include <QByteArray>
#include <QVariant>
#include <QXmlStreamReader>

namespace Platform::PropertyListCoding {

class XmlReader {
public:
    XmlReader(const QByteArray &bytes, DecodeBudget &budget);
    QVariant read();

private:
    QVariant value(int depth);
    QVariantList array(int depth);
    QVariantMap dictionary(int depth);
    QByteArray data();
    template <typename Take>
    void readText(Take take);
    QString text();
    bool nextChild();
    void checkError() const;
    void refuseNul() const;
    void refuseOutsideDeclaredAscii() const;

    QByteArray m_bytes;
    QXmlStreamReader m_reader;
    DecodeBudget &m_budget;
};

// True when `bytes` begins like an XML document (after an optional byte-order mark and space).
bool looksLikeXml(const QByteArray &bytes);

} // namespace Platform::PropertyListCoding
