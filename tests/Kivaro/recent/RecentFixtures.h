#pragma once
// Shared pieces of the recent-shots tests: documents with a picture and shapes, entries made
// by hand with chosen dates, and file modes.

#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShot.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QUuid>

#include <sys/stat.h>

namespace RecentFixtures {

inline QImage picture(int w = 240, int h = 160)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256));
    return image;
}

inline Platform::ShapeElement box(QRectF frame, QColor stroke = QColor(51, 110, 240))
{
    Platform::ShapeElement s;
    s.frame = frame;
    s.strokeColor = stroke;
    s.lineWidth = 4;
    s.allowedInteractions = Platform::MarkupInteraction::Select | Platform::MarkupInteraction::Move;
    s.id = Platform::MarkupID<Platform::ShapeElement>::make();
    return s;
}

// Commits one more shape as one edit, as a drawing tool would.
inline void addShape(Kivaro::ShotDocument &document, QRectF frame, QColor stroke = QColor(51, 110, 240))
{
    const Kivaro::ShotState before = document.state();
    Kivaro::ShotState next = before;
    next.markup.subelements().append(box(frame, stroke));
    document.replace(next, before, QStringLiteral("矩形"));
}

// Changes the document without an undo step, as a live drag does.
inline void nudge(Kivaro::ShotDocument &document, QRectF frame)
{
    Kivaro::ShotState next = document.state();
    next.markup.subelements().append(box(frame));
    document.applyGesture(next);
}

inline int mode(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

inline void setModified(const QString &path, const QDateTime &date)
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(date, QFileDevice::FileModificationTime);
}

// An entry made by hand: project bytes and, unless `withPreview` is false, a preview.
inline Kivaro::RecentShot makeEntry(const QString &folder, const QDateTime &date, bool withPreview = true)
{
    QDir().mkpath(folder);
    const Kivaro::RecentShot shot = Kivaro::RecentShot::named(folder, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    writeFile(shot.projectURL, "project " + shot.id.toUtf8());
    if (withPreview) {
        writeFile(shot.previewURL, "preview");
        setModified(shot.previewURL, date);
    }
    setModified(shot.projectURL, date);
    return shot;
}

} // namespace RecentFixtures
