#include "Kivaro/document/internal/BubbleEdits.h"

#include "Kivaro/document/AnnotationStyle.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/internal/SideTables.h"

#include "KivaroCore/AnnotationPlacement.h"
#include "KivaroCore/Geometry.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Markup/DocumentLimits.h"

#include <QTextBoundaryFinder>

namespace Kivaro::BubbleEdits {

using namespace Platform;

namespace {

// Text as it enters a bubble: C0 control characters other than tabs and line breaks dropped
// (pasted text may carry them, and a NUL would make every save of the shot fail), then trimmed.
QString bubbleText(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text)
        if (c.unicode() >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r')
            kept.append(c);
    return kept.trimmed();
}

} // namespace

qsizetype characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

bool fitsBubble(const QString &text)
{
    return !text.isEmpty() && text.size() <= DocumentLimits::kMaxTextLength && characterCount(text) <= kMaxCharacters;
}

ShotState withAnnotation(const ShotState &state, const QString &text, QPointF anchor)
{
    const QString trimmed = bubbleText(text);
    const QRectF bounds = state.markup.bounds();
    if (trimmed.isEmpty() || !Geometry::contains(bounds, anchor))
        throw ShotError::message(kivaroCopy("请在图片内选一个位置，并输入标注内容。"));
    if (!fitsBubble(trimmed))
        throw ShotError::message(kivaroCopy("单条标注最多 500 字，请分成几条。"));
    // A project file holds at most this many links; a shot never gets more than it can save.
    if (SideTables::liveLinks(state) >= DocumentLimits::kMaxLinks)
        throw ShotError::message(kivaroCopy("一张截图最多 1000 条标注。"));

    const AnnotationStyle::Label label = AnnotationStyle::prepare(trimmed, bounds);
    QList<QRectF> occupied;
    for (const MarkupElement &element : state.markup.subelements())
        if (const ShapeElement *shape = element.shape())
            occupied.append(shape->frame);
    const QRectF frame = AnnotationPlacement::bubble(anchor, label.size, bounds, occupied);

    const ShapeElement arrow = LinkedAnnotations::arrow(frame, anchor, MarkupID<ShapeElement>::make());
    ShapeElement bubble;
    bubble.shape = ShapeElement::Shape::roundedRectangle(8 / qMax(qMin(frame.width(), frame.height()), 1.0));
    bubble.frame = frame;
    bubble.fillColor = AnnotationStyle::surface();
    bubble.strokeColor = AnnotationStyle::border();
    bubble.lineWidth = 1;
    bubble.attributedText = label.text;
    bubble.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Style;
    bubble.id = MarkupID<ShapeElement>::make();

    ShotState next = state;
    next.markup.subelements().append(arrow);
    next.markup.subelements().append(bubble);
    next.links.append(AnnotationLink{bubble.id, arrow.id, anchor});
    return next;
}

ShotState withText(const ShotState &state, const AnnotationLink &link, const QString &text)
{
    const QString trimmed = bubbleText(text);
    const ShapeElement *found = state.markup.subelements().shape(link.bubbleID);
    if (!fitsBubble(trimmed) || !found)
        throw ShotError::message(kivaroCopy("标注内容需要 1 至 500 字。"));
    ShapeElement bubble = *found;
    const TextAttributes attributes = bubble.attributedText.attributesAt(0).value_or(TextAttributes{});
    bubble.attributedText = AnnotationStyle::aligned(AttributedText(trimmed, attributes), bubble.frame.width());
    ShotState next = state;
    next.markup.subelements().updateOrAppend(bubble);
    return next;
}

ShotState withAnchor(const ShotState &state, const AnnotationLink &link, QPointF point)
{
    const auto entry = std::find_if(state.links.cbegin(), state.links.cend(),
                                    [&](const AnnotationLink &l) { return l.bubbleID == link.bubbleID; });
    if (!Geometry::contains(state.markup.bounds(), point) || entry == state.links.cend()
        || !state.markup.subelements().shape(link.bubbleID))
        throw ShotError::message(kivaroCopy("请在图片内选择新的指向位置。"));
    ShotState next = state;
    next.links[entry - state.links.cbegin()].anchor = point;
    return next;
}

} // namespace Kivaro::BubbleEdits
