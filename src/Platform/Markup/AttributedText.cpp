#include "Platform/Markup/AttributedText.h"

namespace Platform {

AttributedText::AttributedText(const QString &text, const TextAttributes &attributes)
{
    append(text, attributes);
}

std::optional<TextAttributes> AttributedText::attributesAt(qsizetype index) const
{
    if (index < 0)
        return std::nullopt;
    qsizetype start = 0;
    for (const TextRun &run : m_runs) {
        if (index < start + run.length)
            return run.attributes;
        start += run.length;
    }
    return std::nullopt;
}

void AttributedText::append(const QString &text, const TextAttributes &attributes)
{
    if (text.isEmpty())
        return;
    m_string += text;
    m_runs.append(TextRun{int(text.size()), attributes});
    normalise();
}

bool AttributedText::setRuns(const QList<TextRun> &runs)
{
    qsizetype total = 0;
    for (const TextRun &run : runs) {
        if (run.length <= 0)
            return false;
        total += run.length;
    }
    if (total != m_string.size())
        return false;
    m_runs = runs;
    normalise();
    return true;
}

void AttributedText::normalise()
{
    QList<TextRun> merged;
    for (const TextRun &run : std::as_const(m_runs)) {
        if (!merged.isEmpty() && merged.last().attributes == run.attributes)
            merged.last().length += run.length;
        else
            merged.append(run);
    }
    m_runs = std::move(merged);
}

} // namespace Platform
