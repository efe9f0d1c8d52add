#include "Kivaro/editor/internal/ProjectFiles.h"

#include "KivaroCore/Localization.h"

#include <QFileInfo>

namespace Kivaro::detail::ProjectFiles {

QString withProjectExtension(const QString &chosen)
{
    if (QFileInfo(chosen).suffix().compare(QLatin1String("kivaro"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QStringLiteral(".kivaro");
}

QString withPNGExtension(const QString &chosen)
{
    if (QFileInfo(chosen).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QStringLiteral(".png");
}

QString suggestedProjectName(const std::optional<QString> &fileURL)
{
    return fileURL ? QFileInfo(*fileURL).fileName() : kivaroCopy("未命名.kivaro");
}

QString openFilter()
{
    // What Qt reads here (HEIC has no reader on this platform), and projects.
    return kivaroCopy("图片或 Kivaro 工程") + QStringLiteral(" (*.png *.jpg *.jpeg *.tif *.tiff *.bmp *.gif *.webp *.kivaro)");
}

} // namespace Kivaro::detail::ProjectFiles
