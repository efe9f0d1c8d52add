#include "TellumoCore/TellumoError.h"

#include "KivaroCore/Localization.h"

namespace Tellumo {

TellumoError::TellumoError(QString domain, int code, QString key, QList<QVariant> arguments, QString detail)
    : m_domain(std::move(domain)), m_code(code), m_key(std::move(key)), m_arguments(std::move(arguments)), m_detail(std::move(detail))
{
    m_description = Kivaro::formatWithLocale(m_key, m_arguments, QLocale::c());
    if (!m_detail.isEmpty())
        m_description += QStringLiteral("：") + m_detail;
    m_utf8 = m_description.toUtf8();
}

} // namespace Tellumo
