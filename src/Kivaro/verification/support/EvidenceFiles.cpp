#include "Kivaro/verification/support/EvidenceFiles.h"

#include "KivaroCore/ShotError.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/Files/RegularFile.h"

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

QByteArray readEvidence(const QString &path, qint64 maxBytes)
{
    Platform::FileBytes file = Platform::readRegularFile(path, maxBytes, Platform::FollowLinks::No);
    if (!file.ok())
        throw ShotError::message(QStringLiteral("cannot read %1: %2").arg(path, file.failure->description()));
    return std::move(file.bytes);
}

bool isInside(const QString &path, const QString &folder)
{
    const QString inner = QFileInfo(path).canonicalFilePath();
    const QString outer = QFileInfo(folder).canonicalFilePath();
    return !inner.isEmpty() && !outer.isEmpty() && inner.startsWith(outer + u'/');
}

} // namespace Kivaro::VerificationSupport
