#include "TextScreens/TextScreens.h"

#include <QFontDatabase>

#include <cstdlib>

namespace TextScreens {

namespace {

// Before main(), so before anything starts fontconfig: the process sees only our faces,
// whatever FONTCONFIG_FILE the environment held.
const bool ownFontConfiguration = [] {
    ::setenv("FONTCONFIG_FILE", KIVARO_TEXT_SCREEN_FONTS, 1);
    return true;
}();

} // namespace

QString fontConfiguration()
{
    return QStringLiteral(KIVARO_TEXT_SCREEN_FONTS);
}

QString name(Face face)
{
    switch (face) {
    case Face::wenQuanYi:
        return QStringLiteral("wqy");
    case Face::notoSansSC:
        return QStringLiteral("noto-sc");
    case Face::notoSansTC:
        return QStringLiteral("noto-tc");
    case Face::notoSerifSC:
        return QStringLiteral("serif-sc");
    case Face::notoSerifTC:
        return QStringLiteral("serif-tc");
    }
    return {};
}

QString family(Face face)
{
    switch (face) {
    case Face::wenQuanYi:
        return QStringLiteral("WenQuanYi Micro Hei");
    case Face::notoSansSC:
        return QStringLiteral("Noto Sans CJK SC");
    case Face::notoSansTC:
        return QStringLiteral("Noto Sans CJK TC");
    case Face::notoSerifSC:
        return QStringLiteral("Noto Serif CJK SC");
    case Face::notoSerifTC:
        return QStringLiteral("Noto Serif CJK TC");
    }
    return {};
}

QString monospacedFamily(Face face)
{
    switch (face) {
    case Face::wenQuanYi:
        return QStringLiteral("WenQuanYi Micro Hei Mono");
    case Face::notoSansSC:
        return QStringLiteral("Noto Sans Mono CJK SC");
    case Face::notoSansTC:
    case Face::notoSerifTC:
        return QStringLiteral("Noto Sans Mono CJK TC");
    case Face::notoSerifSC:
        return QStringLiteral("Noto Sans Mono CJK SC");
    }
    return {};
}

QStringList missingFamilies()
{
    QStringList wanted = {QStringLiteral("DejaVu Sans"),  QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif"),  QStringLiteral("Liberation Mono")};
    for (Face face : {Face::wenQuanYi, Face::notoSansSC, Face::notoSansTC, Face::notoSerifSC, Face::notoSerifTC})
        wanted << family(face) << monospacedFamily(face);
    const QStringList offered = QFontDatabase::families();
    QStringList missing;
    for (const QString &name : std::as_const(wanted))
        if (!offered.contains(name, Qt::CaseInsensitive))
            missing << name;
    return missing;
}

} // namespace TextScreens
