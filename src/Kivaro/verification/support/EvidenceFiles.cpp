#include "Kivaro/verification/support/EvidenceFiles.h"

#include "KivaroCore/ShotError.h"
#include "Platform/Files/PrivateFiles.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

namespace Kivaro::VerificationSupport {

QByteArray encodePNG(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (image.isNull() || !writer.write(image))
        return QByteArray();
    return png;
}

void writeEvidence(const QString &path, const QByteArray &bytes)
{
    if (const auto error = Platform::writePrivateFile(path, bytes))
        throw ShotError::message(*error);
}

bool isInside(const QString &path, const QString &folder)
{
    const QString inner = QFileInfo(path).canonicalFilePath();
    const QString outer = QFileInfo(folder).canonicalFilePath();
    return !inner.isEmpty() && !outer.isEmpty() && inner.startsWith(outer + u'/');
}

} // namespace Kivaro::VerificationSupport
