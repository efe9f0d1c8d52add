#include "Platform/PropertyList/internal/XmlReader.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

#include <cstring>
#include <limits>
#include <string>

namespace Platform::PropertyListCoding {

namespace {

int asciiDigit(QChar c, int base)
{
    const char16_t u = c.unicode();
    int digit = 99;
    if (u >= u'0' && u <= u'9')
        digit = u - u'0';
    else if (u >= u'a' && u <= u'f')
        digit = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        digit = u - u'A' + 10;
    return digit < base ? digit : -1;
}

qint64 integer(QStringView text)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text = text.mid(2);
    }
    if (text.isEmpty())
        fail("bad property-list integer");
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1 : quint64(std::numeric_limits<qint64>::max());
    quint64 magnitude = 0;
    for (const QChar c : text) {
        const int digit = asciiDigit(c, base);
        if (digit < 0)
            fail("bad property-list integer");
        if (magnitude > (limit - quint64(digit)) / quint64(base))
            fail("property-list integer out of range");
        magnitude = magnitude * quint64(base) + quint64(digit);
    }
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

double real(const QString &text)
{
    const QString word = text.trimmed().toLower();
    if (word == u"+infinity" || word == u"infinity")
        return std::numeric_limits<double>::infinity();
    if (word == u"-infinity")
        return -std::numeric_limits<double>::infinity();
    bool ok = false;
    const double value = word.toDouble(&ok); // also "nan", "inf", "-inf"
    if (!ok)
        fail("bad property-list real");
    return value;
}

// "2070-01-01T00:00:00Z", as the format writes dates, always in UTC; a date without the "Z"
// is taken as UTC too, never in the machine's zone. Nothing else: no offset, fraction, space or
// lower-case letter, no "24:00".
QDateTime date(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("\\A(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})Z?\\z"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        fail("bad property-list date");
    const auto number = [&match](int group) { return match.capturedView(group).toInt(); };
    const QDate day(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    if (!day.isValid() || !time.isValid())
        fail("bad property-list date");
    return QDateTime(day, time, QTimeZone::utc());
}

} // namespace

bool looksLikeXml(const QByteArray &bytes)
{
    qsizetype i = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return i < bytes.size() && bytes[i] == '<';
}

XmlReader::XmlReader(const QByteArray &bytes, DecodeBudget &budget) : m_bytes(bytes), m_reader(bytes), m_budget(budget) {}

// XML has no NUL character, and the stream reader drops some of them without a word (one after
// "]" in text): a document holding one is refused whole. A document in UTF-16 holds zero bytes
// in its characters; only a whole zero unit is a NUL there.
void XmlReader::refuseNul() const
{
    const char *data = m_bytes.constData();
    const qsizetype size = m_bytes.size();
    const bool bigEndian16 = m_bytes.startsWith("\xFE\xFF") || m_bytes.startsWith(QByteArrayView("\0<", 2));
    const bool littleEndian16 = m_bytes.startsWith("\xFF\xFE") || m_bytes.startsWith(QByteArrayView("<\0", 2));
    if (!bigEndian16 && !littleEndian16) {
        if (std::memchr(data, 0, size_t(size)) != nullptr)
            fail("malformed XML property list: NUL character");
        return;
    }
    for (qsizetype i = 0; i + 1 < size; i += 2)
        if (data[i] == 0 && data[i + 1] == 0)
            fail("malformed XML property list: NUL character");
}

// A document declared US-ASCII holds no byte above 127. The stream reader reads such a byte as
// U+FFFD without an error; other readers refuse the document as not well-formed, and so do we.
void XmlReader::refuseOutsideDeclaredAscii() const
{
    // The names and aliases IANA registers for US-ASCII.
    static const QStringList ascii = {
        QStringLiteral("us-ascii"), QStringLiteral("ascii"),   QStringLiteral("ansi_x3.4-1968"), QStringLiteral("ansi_x3.4-1986"),
        QStringLiteral("iso646-us"), QStringLiteral("iso_646.irv:1991"), QStringLiteral("iso-ir-6"), QStringLiteral("us"),
        QStringLiteral("ibm367"),   QStringLiteral("cp367"),   QStringLiteral("csascii"),        QStringLiteral("646")};
    if (!ascii.contains(m_reader.documentEncoding().toString().trimmed().toLower()))
        return;
    for (const char byte : m_bytes)
        if (static_cast<unsigned char>(byte) > 0x7f)
            fail("malformed XML property list: a byte outside the declared US-ASCII");
}

QVariant XmlReader::read()
{
    refuseNul();
    for (;;) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (token == QXmlStreamReader::StartElement)
            break;
        checkError();
        if (token == QXmlStreamReader::StartDocument)
            refuseOutsideDeclaredAscii();
        if (token == QXmlStreamReader::DTD && !m_reader.entityDeclarations().isEmpty())
            fail("XML property list declares entities");
        if (token == QXmlStreamReader::EndDocument || (token == QXmlStreamReader::Characters && !m_reader.isWhitespace()))
            fail("not a property list");
    }
    if (m_reader.name() != u"plist")
        fail("XML document is not a property list");
    if (!nextChild())
        fail("XML property list holds no value");
    QVariant root = value(1);
    if (nextChild())
        fail("XML property list holds more than one value");
    // Only comments, processing instructions and space may follow.
    while (!m_reader.atEnd())
        m_reader.readNext();
    checkError();
    return root;
}

QVariant XmlReader::value(int depth)
{
    m_budget.enter(depth);
    m_budget.takeNodes(1);
    // A view into the reader's buffer: looked at before the reader moves on.
    const QStringView name = m_reader.name();
    if (name == u"dict")
        return dictionary(depth);
    if (name == u"array")
        return array(depth);
    if (name == u"data")
        return data();
    if (name == u"true" || name == u"false") {
        const bool value = name == u"true";
        if (!text().isEmpty())
            fail("bad property-list Boolean");
        return QVariant(value);
    }
    const bool isInteger = name == u"integer", isReal = name == u"real", isDate = name == u"date";
    if (!isInteger && !isReal && !isDate && name != u"string")
        fail("unsupported property-list element");
    QString content = text();
    if (isInteger)
        return QVariant::fromValue<qint64>(integer(content));
    if (isReal)
        return QVariant(real(content));
    if (isDate)
        return QVariant(date(content));
    return QVariant(std::move(content));
}

// Base64 text, white space allowed anywhere. Collected as bytes: a large image need not pass
// through a QString twice its size. Anything beyond 7-bit ASCII becomes a byte the decoder
// refuses.
QByteArray XmlReader::data()
{
    QByteArray base64;
    readText([&base64](QStringView piece) { base64 += piece.toLatin1(); });
    base64.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
    // Without its padding the last group would be dropped.
    if (base64.size() % 4 != 0)
        fail("bad property-list data");
    auto decoded = QByteArray::fromBase64Encoding(std::move(base64), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        fail("bad property-list data");
    m_budget.takeBytes(quint64(decoded.decoded.size()));
    return std::move(*decoded);
}

QVariantList XmlReader::array(int depth)
{
    QVariantList list;
    while (nextChild())
        list.append(value(depth + 1));
    return list;
}

QVariantMap XmlReader::dictionary(int depth)
{
    QVariantMap map;
    while (nextChild()) {
        if (m_reader.name() != u"key")
            fail("XML property-list dictionary entry without a key");
        m_budget.takeNodes(1);
        const QString key = text();
        if (!nextChild())
            fail("XML property-list key without a value");
        map.insert(key, value(depth + 1));
    }
    return map;
}

// Hands each piece of the current element's text to `take`, up to the element's end. The
// element must hold no element; an entity the document does not declare (one from an external
// DTD, which is never fetched) is refused, not dropped.
template <typename Take>
void XmlReader::readText(Take take)
{
    for (;;) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        checkError();
        if (token == QXmlStreamReader::EndElement)
            return;
        if (token == QXmlStreamReader::Characters)
            take(m_reader.text());
        else if (token != QXmlStreamReader::Comment && token != QXmlStreamReader::ProcessingInstruction)
            fail("property-list text holds an element or an unknown entity");
    }
}

QString XmlReader::text()
{
    QString result;
    readText([this, &result](QStringView piece) {
        m_budget.takeBytes(quint64(piece.size()) * 2);
        if (result.isEmpty())
            result = piece.toString();
        else
            result += piece;
    });
    if (result.contains(QChar(0)))
        fail("property-list string holds a NUL character");
    return result;
}

// Moves to the next child element of the current one: true at its start, false at the end of
// the current element. Text between elements must be white space.
bool XmlReader::nextChild()
{
    for (;;) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        checkError();
        switch (token) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
            return false;
        case QXmlStreamReader::Characters:
            if (!m_reader.isWhitespace())
                fail("text outside a property-list value");
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        default:
            fail("malformed XML property list");
        }
    }
}

void XmlReader::checkError() const
{
    if (m_reader.hasError())
        throw PropertyListError("malformed XML property list: " + m_reader.errorString().toStdString());
}

} // namespace Platform::PropertyListCoding
