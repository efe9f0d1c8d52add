#include "FuzzTargets.h"

#include "TellumoCore/TextPolisher.h"

namespace Kivaro::Fuzz {

int fuzzPolishingResponse(const uint8_t *data, size_t size)
{
    namespace Polisher = Tellumo::TextPolisher;
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QString text;
    try {
        text = Polisher::decodeResponse(body);
    } catch (const Tellumo::TellumoError &error) {
        const bool noText = error.domain() == QLatin1String(Polisher::errorDomain) && error.description() == QStringLiteral("AI 服务未返回文字。");
        check(noText || error.domain() == QLatin1String(Polisher::decodingErrorDomain), "a refused answer is the no-text or a decoding error");
        check(!error.description().isEmpty(), "a refused answer says why");
        return 0;
    }
    check(!text.isEmpty() && text == text.trimmed(), "a polished text is trimmed and not empty");
    return 0;
}

} // namespace Kivaro::Fuzz
