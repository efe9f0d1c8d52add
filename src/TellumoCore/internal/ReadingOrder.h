#pragma once
// Puts recognised lines in the order a reader takes them.
//
// The backgrounds of a screen nest: a window pane holds a side bar and a content area, a chat
// pane holds bubbles, a dialog holds buttons. Each line belongs to the background its ink
// touches; each background to the smallest larger background whose bounds hold it. Within one
// background its lines and inner backgrounds are read by recursive cuts along the widest gap:
// top to bottom across horizontal gaps, left to right across vertical ones. A vertical gap does
// not cut when the two sides are rows of one table (most lines across it share their height:
// settings tables, menu shortcuts, line numbers beside code) or when they take turns down the
// page (chat bubbles on either side); those are read row by row, and so is every part of
// such a table that a cut across it leaves, however few rows it holds. A background whose
// bounds reach over a line of the background around it (a window's title, on a title bar the
// frame's colour runs around) is placed by its own lines. Pieces of one row are joined
// by a space into one line, left to right whatever background each sits on (the active tab of a
// strip keeps its place among the others, also when its background runs on into the toolbar
// below it: a background's top line standing in the row of its neighbours joins that row).

#include "TellumoCore/internal/InkSegmentation.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace Tellumo::detail {

struct PlacedText {
    QRect box;
    QString text;
    int region = -1; // index into the background regions, or -1
    int baseline = 0;
};

QStringList readingOrder(const std::vector<PlacedText> &texts, const std::vector<BackgroundRegion> &regions);

// The plain order: by top edge, then left edge, one line each.
QStringList topToBottom(std::vector<PlacedText> texts);

} // namespace Tellumo::detail
