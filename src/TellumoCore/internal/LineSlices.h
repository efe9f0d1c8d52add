#pragma once
// Wide line pictures cut into slices that one engine reads one after another.
//
// An engine keeps the buffers of its beam search for the widest picture it has read until it
// ends (about 4.5 MB a thousand pixels of a Chinese model's picture, half that for English), so
// in a resident application every engine would grow to hold the widest line it ever met (a
// Chinese engine about 10 MB more after a few dozen full HD screens of small text). Pictures wider than kWidestSlice are therefore cut into slices of about equal widths
// (none more than a quarter wider than kWidestSlice), each cut at the widest run of blank
// columns within a quarter of a slice of its place (between words, or between Chinese
// characters); a column that only a rule crosses (the underline of a link) counts as blank. Only
// where there is no such column is a slice cut at its place. Each slice keeps the picture's
// margin: the column at the cut repeats to either side.
//
// The pictures are dark ink on white, as LineImages draws them.

#include <QImage>

#include <vector>

namespace Tellumo::detail {

// About 25 Chinese characters or 45 Latin letters at the reading height.
constexpr int kWidestSlice = 1000;

struct PictureSlice {
    QImage picture;
    int offset = 0;           // the column of the whole picture at the slice's column 0
    bool wordBreakBefore = false; // the blank run before it is as wide as the space between words
};

// The whole picture as one slice when it is no wider than `widest`. `wordBreakBefore` as
// InkColumns::partsWords tells.
std::vector<PictureSlice> pictureSlices(const QImage &picture, int widest = kWidestSlice);

} // namespace Tellumo::detail
