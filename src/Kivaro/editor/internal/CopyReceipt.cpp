#include "Kivaro/editor/internal/CopyReceipt.h"

#include "Kivaro/document/FileError.h"
#include "KivaroCore/PointerTrace.h"
#include "KivaroCore/LaunchArguments.h"
#include "Platform/Files/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

namespace Kivaro::detail::CopyReceipt {

std::optional<QString> folder(const QStringList &arguments)
{
    if (!arguments.mid(1).contains(QStringLiteral("--ui-session")))
        return std::nullopt;
    return PrototypeVerification::argument(QStringLiteral("--evidence-dir"), arguments);
}

QByteArray json(const QByteArray &png, bool clipboardMatched, bool windowVisible)
{
    const QImage image = QImage::fromData(png, "PNG");
    QJsonObject receipt;
    receipt.insert(QStringLiteral("copied"), true);
    receipt.insert(QStringLiteral("clipboardMatchedAtCopy"), clipboardMatched);
    receipt.insert(QStringLiteral("windowVisible"), windowVisible);
    receipt.insert(QStringLiteral("width"), image.isNull() ? 0 : image.width());
    receipt.insert(QStringLiteral("height"), image.isNull() ? 0 : image.height());
    receipt.insert(QStringLiteral("sha256"), QString::fromLatin1(QCryptographicHash::hash(png, QCryptographicHash::Sha256).toHex()));
    return QJsonDocument(receipt).toJson(QJsonDocument::Indented);
}

void write(const QString &folder, const QByteArray &json)
{
    const QString path = QDir(folder).filePath(QStringLiteral("copy-receipt.json"));
    // The session's folder is checked again at each write: one that was replaced by a link or
    // opened to others since the launch gets no more evidence.
    if (!PointerTrace::isValidFolder(folder))
        throw FileError(path, QStringLiteral("the evidence folder is not a private folder of this user"));
    if (const std::optional<QString> error = Platform::writePrivateFile(path, json))
        throw FileError(path, *error);
}

} // namespace Kivaro::detail::CopyReceipt
