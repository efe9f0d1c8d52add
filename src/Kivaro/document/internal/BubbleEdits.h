#pragma once
// The states the text-bubble operations of the document commit, built from the current state.
// Each validates its input and throws ShotError with the operation's message; none runs the
// consistency pass (the document does, where the operation calls for it).

#include "Kivaro/document/ShotState.h"

namespace Kivaro::BubbleEdits {

inline constexpr qsizetype kMaxCharacters = 500;

// Characters as the user sees them (grapheme clusters): an emoji with modifiers counts once.
qsizetype characterCount(const QString &text);

// Whether `text` (trimmed) fits a bubble: 1 to 500 characters, and no more UTF-16 units than
// a project file holds in one text (a character can be made of any number of them: combining
// marks have no end).
bool fitsBubble(const QString &text);

// Both text operations drop C0 control characters but tabs and line breaks, then trim.

// A new bubble for `text` placed near `anchor` clear of the other shapes, its arrow (below the
// bubble, both on top) and the link appended to `links`.
ShotState withAnnotation(const ShotState &state, const QString &text, QPointF anchor);

// The bubble of `link` with `text`, styled like the first character of its old text and
// re-aligned for its current width; the frame stays.
ShotState withText(const ShotState &state, const AnnotationLink &link, const QString &text);

// The first link with `link`'s bubble pointing at `point`. Links are matched by bubble only.
ShotState withAnchor(const ShotState &state, const AnnotationLink &link, QPointF point);

} // namespace Kivaro::BubbleEdits
