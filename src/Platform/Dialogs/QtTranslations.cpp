#include "Platform/Dialogs/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace Platform {

namespace {

// Qt names its files after locales: "qtbase_zh_CN.qm", "qtbase_zh_TW.qm".
QString qtLocaleName(const QString &language)
{
    if (language == QLatin1String("zh-Hans"))
        return QStringLiteral("zh_CN");
    if (language == QLatin1String("zh-Hant"))
        return QStringLiteral("zh_TW");
    return QString(language).replace(u'-', u'_');
}

} // namespace

bool installQtTranslations(const QString &language)
{
    static std::unique_ptr<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    if (language.isEmpty() || language == QLatin1String("en") || language.startsWith(QLatin1String("en-")))
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + qtLocaleName(language), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}

} // namespace Platform
