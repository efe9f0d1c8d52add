#include "Platform/Markup/MarkupInteractions.h"

#include <array>
#include <utility>

namespace Platform {

namespace {
const std::array<std::pair<MarkupInteraction, const char *>, 5> kNames{{
    {MarkupInteraction::Select, "select"},
    {MarkupInteraction::Move, "move"},
    {MarkupInteraction::Resize, "resize"},
    {MarkupInteraction::Style, "style"},
    {MarkupInteraction::Delete, "delete"},
}};
} // namespace

QStringList interactionNames(MarkupInteractions interactions)
{
    QStringList names;
    for (const auto &[flag, name] : kNames)
        if (interactions.testFlag(flag))
            names << QString::fromLatin1(name);
    return names;
}

MarkupInteractions interactionsFromNames(const QStringList &names)
{
    MarkupInteractions result;
    for (const auto &[flag, name] : kNames)
        if (names.contains(QLatin1String(name)))
            result |= flag;
    return result;
}

} // namespace Platform
