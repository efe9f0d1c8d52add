#pragma once
// Shared pieces of the recent-shots tests: documents with shapes, entries made by hand with
// chosen dates, and file modes.

#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShot.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QUuid>

#include <sys/stat.h>

namespace RecentFixtures {

inline QImage picture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 160));
    return image;
}

// The document with one more rectangle: committed as one edit as a drawing tool does, or shown
// without an undo step as a live drag does.
inline void addShape(Kivaro::ShotDocument &document, QRectF frame, QColor stroke = QColor(51, 110, 240), bool commit = true)
{
    Platform::ShapeElement s;
    s.frame = frame;
    s.strokeColor = stroke;
    s.lineWidth = 4;
    s.id = Platform::MarkupID<Platform::ShapeElement>::make();
    Kivaro::ShotState next = document.state();
    next.markup.subelements().append(s);
    if (commit)
        document.replace(next, document.state(), QStringLiteral("矩形"));
    else
        document.applyGesture(next);
}

inline int mode(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `bytes` to `path`, dated `date` when one is given.
inline void writeFile(const QString &path, const QByteArray &bytes, const QDateTime &date = {})
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        file.write(bytes);
        file.flush(); // before dating it: a later flush would date it again
        if (date.isValid())
            file.setFileTime(date, QFileDevice::FileModificationTime);
    }
}

// An entry made by hand: project bytes and, unless `withPreview` is false, a preview.
inline Kivaro::RecentShot makeEntry(const QString &folder, const QDateTime &date, bool withPreview = true)
{
    QDir().mkpath(folder);
    const Kivaro::RecentShot shot = Kivaro::RecentShot::named(folder, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    writeFile(shot.projectURL, "project " + shot.id.toUtf8(), date);
    if (withPreview)
        writeFile(shot.previewURL, "preview", date);
    return shot;
}

} // namespace RecentFixtures
