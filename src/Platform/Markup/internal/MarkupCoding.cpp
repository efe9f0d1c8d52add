#include "Platform/Markup/internal/MarkupCoding.h"

#include "KivaroCore/Localization.h"
#include "Platform/Image/ImageDecoding.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

namespace Platform::MarkupCoding {

namespace {

// ---- encoding ---------------------------------------------------------------------------

QVariantList reals(std::initializer_list<double> values)
{
    QVariantList list;
    for (double v : values)
        list << v;
    return list;
}
QVariantList rect(const QRectF &r) { return reals({r.x(), r.y(), r.width(), r.height()}); }
QVariantList point(const QPointF &p) { return reals({p.x(), p.y()}); }
QVariantList colour(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return reals({rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()});
}

const char *const kAlignments[] = {"natural", "left", "center", "right", "justified"};
const char *const kLineBreaks[] = {"word", "char", "clip"};
const char *const kShapes[] = {"rectangle", "roundedRectangle", "ellipse", "line"};
const char *const kMarkers[] = {"none", "arrow"};
const char *const kInks[] = {"pen", "marker", "pencil"};

QVariantMap encodeText(const AttributedText &text)
{
    QVariantList runs;
    for (const TextRun &run : text.runs()) {
        const TextAttributes &a = run.attributes;
        QVariantMap map{{QStringLiteral("length"), qint64(run.length)},
                        {QStringLiteral("font"), a.fontFamily},
                        {QStringLiteral("size"), a.fontSize},
                        {QStringLiteral("weight"), qint64(a.fontWeight)},
                        {QStringLiteral("italic"), a.italic}};
        if (a.foregroundColor)
            map.insert(QStringLiteral("color"), colour(*a.foregroundColor));
        if (const auto &p = a.paragraphStyle) {
            map.insert(QStringLiteral("paragraph"),
                       QVariantMap{{QStringLiteral("alignment"), QString::fromLatin1(kAlignments[int(p->alignment)])},
                                   {QStringLiteral("lineBreak"), QString::fromLatin1(kLineBreaks[int(p->lineBreakMode)])},
                                   {QStringLiteral("lineSpacing"), p->lineSpacing},
                                   {QStringLiteral("paragraphSpacing"), p->paragraphSpacing},
                                   {QStringLiteral("paragraphSpacingBefore"), p->paragraphSpacingBefore},
                                   {QStringLiteral("firstLineHeadIndent"), p->firstLineHeadIndent},
                                   {QStringLiteral("headIndent"), p->headIndent},
                                   {QStringLiteral("tailIndent"), p->tailIndent}});
        }
        runs << map;
    }
    return {{QStringLiteral("string"), text.string()}, {QStringLiteral("runs"), runs}};
}

QVariantMap encodeShape(const ShapeElement &s)
{
    QVariantMap map{{QStringLiteral("kind"), QStringLiteral("shape")},
                    {QStringLiteral("id"), s.id.toString()},
                    {QStringLiteral("shape"), QString::fromLatin1(kShapes[int(s.shape.kind)])},
                    {QStringLiteral("frame"), rect(s.frame)},
                    {QStringLiteral("rotation"), s.rotation},
                    {QStringLiteral("lineWidth"), s.lineWidth},
                    {QStringLiteral("opacity"), s.opacity},
                    {QStringLiteral("startMarker"), QString::fromLatin1(kMarkers[int(s.startLineMarker)])},
                    {QStringLiteral("endMarker"), QString::fromLatin1(kMarkers[int(s.endLineMarker)])},
                    {QStringLiteral("text"), encodeText(s.attributedText)},
                    {QStringLiteral("interactions"), interactionNames(s.allowedInteractions)},
                    {QStringLiteral("autoresizing"), qint64(s.autoresizing)}};
    if (s.shape.kind == ShapeElement::Shape::Kind::RoundedRectangle)
        map.insert(QStringLiteral("cornerRadius"), s.shape.cornerRadius);
    if (s.shape.kind == ShapeElement::Shape::Kind::Line) {
        map.insert(QStringLiteral("start"), point(s.shape.start));
        map.insert(QStringLiteral("control"), point(s.shape.control));
        map.insert(QStringLiteral("end"), point(s.shape.end));
    }
    if (s.fillColor)
        map.insert(QStringLiteral("fill"), colour(*s.fillColor));
    if (s.strokeColor)
        map.insert(QStringLiteral("stroke"), colour(*s.strokeColor));
    return map;
}

QVariantMap encodeImage(const ImageElement &i)
{
    QVariantMap map{{QStringLiteral("kind"), QStringLiteral("image")},
                    {QStringLiteral("id"), i.id.toString()},
                    {QStringLiteral("png"), i.image.pngData()},
                    {QStringLiteral("frame"), rect(i.frame)},
                    {QStringLiteral("rotation"), i.rotation},
                    {QStringLiteral("orientation"), qint64(i.orientation)},
                    {QStringLiteral("opacity"), i.opacity},
                    {QStringLiteral("contentsBounds"), rect(i.contentsBounds)},
                    {QStringLiteral("interactions"), interactionNames(i.allowedInteractions)}};
    if (i.accessibilityDescription)
        map.insert(QStringLiteral("accessibilityDescription"), *i.accessibilityDescription);
    return map;
}

QVariantMap encodeStroke(const StrokeElement &s)
{
    QByteArray packed(s.points.size() * kDoublesPerStrokePoint * qsizetype(sizeof(double)), Qt::Uninitialized);
    char *out = packed.data();
    auto put = [&out](double v) {
        qToLittleEndian(v, out);
        out += sizeof(double);
    };
    for (const StrokePoint &p : s.points) {
        put(p.location.x());
        put(p.location.y());
        put(p.timeOffset);
        put(p.size.width());
        put(p.size.height());
        put(p.opacity);
        put(p.force);
        put(p.azimuth);
        put(p.altitude);
    }
    const QTransform &t = s.transform;
    return {{QStringLiteral("kind"), QStringLiteral("stroke")},
            {QStringLiteral("id"), s.id.toString()},
            {QStringLiteral("ink"),
             QVariantMap{{QStringLiteral("type"), QString::fromLatin1(kInks[int(s.ink.type)])},
                         {QStringLiteral("color"), colour(s.ink.color)},
                         {QStringLiteral("width"), s.ink.width}}},
            {QStringLiteral("points"), packed},
            {QStringLiteral("transform"), reals({t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()})},
            {QStringLiteral("creationDate"), s.creationDate},
            {QStringLiteral("interactions"), interactionNames(s.allowedInteractions)}};
}

// ---- decoding ---------------------------------------------------------------------------

class Reader {
public:
    explicit Reader(const MarkupDataLimits &limits) : m_limits(limits) {}

    [[noreturn]] static void fail(const QString &detail)
    {
        throw MarkupDataError(Kivaro::kivaroCopy("无法读取标注数据，文件可能已损坏。"), detail);
    }

    static const QVariant &field(const QVariantMap &map, const char *key)
    {
        const auto it = map.constFind(QLatin1String(key));
        if (it == map.cend())
            fail(QStringLiteral("missing field ") + QLatin1String(key));
        return *it;
    }
    static bool has(const QVariantMap &map, const char *key) { return map.contains(QLatin1String(key)); }

    static QVariantMap dictionary(const QVariant &v, const char *what)
    {
        if (v.typeId() != QMetaType::QVariantMap)
            fail(QStringLiteral("not a dictionary: ") + QLatin1String(what));
        return v.toMap();
    }
    static QVariantList array(const QVariant &v, const char *what)
    {
        if (v.typeId() != QMetaType::QVariantList)
            fail(QStringLiteral("not an array: ") + QLatin1String(what));
        return v.toList();
    }
    QString string(const QVariant &v, const char *what) const
    {
        if (v.typeId() != QMetaType::QString)
            fail(QStringLiteral("not a string: ") + QLatin1String(what));
        QString s = v.toString();
        if (s.size() > m_limits.maxTextLength)
            fail(QStringLiteral("string too long: ") + QLatin1String(what));
        return s;
    }
    static QByteArray data(const QVariant &v, const char *what)
    {
        if (v.typeId() != QMetaType::QByteArray)
            fail(QStringLiteral("not data: ") + QLatin1String(what));
        return v.toByteArray();
    }
    static bool boolean(const QVariant &v, const char *what)
    {
        if (v.typeId() != QMetaType::Bool)
            fail(QStringLiteral("not a Boolean: ") + QLatin1String(what));
        return v.toBool();
    }
    static qint64 integer(const QVariant &v, const char *what, qint64 min, qint64 max)
    {
        if (v.typeId() != QMetaType::LongLong)
            fail(QStringLiteral("not an integer: ") + QLatin1String(what));
        const qint64 i = v.toLongLong();
        if (i < min || i > max)
            fail(QStringLiteral("out of range: ") + QLatin1String(what));
        return i;
    }
    double real(const QVariant &v, const char *what, double limit = -1) const
    {
        double d = 0;
        if (v.typeId() == QMetaType::Double)
            d = v.toDouble();
        else if (v.typeId() == QMetaType::LongLong)
            d = double(v.toLongLong());
        else
            fail(QStringLiteral("not a number: ") + QLatin1String(what));
        if (!std::isfinite(d) || std::abs(d) > (limit < 0 ? m_limits.maxCoordinate : limit))
            fail(QStringLiteral("number out of range: ") + QLatin1String(what));
        return d;
    }
    QPointF point(const QVariant &v, const char *what) const
    {
        const QVariantList l = array(v, what);
        if (l.size() != 2)
            fail(QStringLiteral("not a point: ") + QLatin1String(what));
        return {real(l[0], what), real(l[1], what)};
    }
    QRectF rect(const QVariant &v, const char *what) const
    {
        const QVariantList l = array(v, what);
        if (l.size() != 4)
            fail(QStringLiteral("not a rectangle: ") + QLatin1String(what));
        return {real(l[0], what), real(l[1], what), real(l[2], what), real(l[3], what)};
    }
    QColor colour(const QVariant &v, const char *what) const
    {
        const QVariantList l = array(v, what);
        if (l.size() != 4)
            fail(QStringLiteral("not a colour: ") + QLatin1String(what));
        double c[4];
        for (int i = 0; i < 4; ++i) {
            c[i] = real(l[i], what, 1.0);
            if (c[i] < 0)
                fail(QStringLiteral("colour out of range: ") + QLatin1String(what));
        }
        return QColor::fromRgbF(float(c[0]), float(c[1]), float(c[2]), float(c[3]));
    }
    template <size_t N>
    static int name(const QVariant &v, const char *const (&names)[N], const char *what)
    {
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString();
            for (size_t i = 0; i < N; ++i)
                if (s == QLatin1String(names[i]))
                    return int(i);
        }
        fail(QStringLiteral("unknown value of ") + QLatin1String(what));
    }
    template <typename T>
    MarkupID<T> identity(const QVariantMap &map) const
    {
        const MarkupID<T> id = MarkupID<T>::fromString(string(field(map, "id"), "id"));
        if (id.isNull())
            fail(QStringLiteral("bad identity"));
        return id;
    }
    MarkupInteractions interactions(const QVariantMap &map) const
    {
        QStringList names;
        for (const QVariant &v : array(field(map, "interactions"), "interactions"))
            names << string(v, "interaction");
        return interactionsFromNames(names);
    }

    // Shapes' texts are laid out to be drawn: each is bounded by the string length, and all of
    // them together by their own total.
    AttributedText text(const QVariant &v)
    {
        const QVariantMap map = dictionary(v, "text");
        AttributedText text(string(field(map, "string"), "text"));
        if (text.length() > m_limits.maxTotalTextLength - m_textLength)
            fail(QStringLiteral("too much text"));
        m_textLength += text.length();
        const QVariantList runList = array(field(map, "runs"), "runs");
        if (runList.size() > m_limits.maxTextRuns)
            fail(QStringLiteral("too many text runs"));
        QList<TextRun> runs;
        for (const QVariant &r : runList) {
            const QVariantMap run = dictionary(r, "run");
            TextAttributes a;
            a.fontFamily = string(field(run, "font"), "font");
            a.fontSize = real(field(run, "size"), "size", 10000);
            a.fontWeight = int(integer(field(run, "weight"), "weight", 1, 1000));
            a.italic = boolean(field(run, "italic"), "italic");
            if (has(run, "color"))
                a.foregroundColor = colour(field(run, "color"), "color");
            if (has(run, "paragraph")) {
                const QVariantMap p = dictionary(field(run, "paragraph"), "paragraph");
                ParagraphStyle style;
                style.alignment = TextAlignment(name(field(p, "alignment"), kAlignments, "alignment"));
                style.lineBreakMode = LineBreakMode(name(field(p, "lineBreak"), kLineBreaks, "lineBreak"));
                style.lineSpacing = real(field(p, "lineSpacing"), "lineSpacing", 10000);
                style.paragraphSpacing = real(field(p, "paragraphSpacing"), "paragraphSpacing", 10000);
                style.paragraphSpacingBefore = real(field(p, "paragraphSpacingBefore"), "paragraphSpacingBefore", 10000);
                style.firstLineHeadIndent = real(field(p, "firstLineHeadIndent"), "firstLineHeadIndent", 10000);
                style.headIndent = real(field(p, "headIndent"), "headIndent", 10000);
                style.tailIndent = real(field(p, "tailIndent"), "tailIndent", 10000);
                a.paragraphStyle = style;
            }
            runs.append(TextRun{int(integer(field(run, "length"), "length", 1, m_limits.maxTextLength)), a});
        }
        if (!text.setRuns(runs))
            fail(QStringLiteral("text runs do not cover the text"));
        return text;
    }

    ShapeElement shape(const QVariantMap &map)
    {
        ShapeElement s;
        s.id = identity<ShapeElement>(map);
        using Kind = ShapeElement::Shape::Kind;
        s.shape.kind = Kind(name(field(map, "shape"), kShapes, "shape"));
        if (s.shape.kind == Kind::RoundedRectangle)
            s.shape.cornerRadius = real(field(map, "cornerRadius"), "cornerRadius");
        if (s.shape.kind == Kind::Line) {
            s.shape.start = point(field(map, "start"), "start");
            s.shape.control = point(field(map, "control"), "control");
            s.shape.end = point(field(map, "end"), "end");
        }
        s.frame = rect(field(map, "frame"), "frame");
        s.rotation = real(field(map, "rotation"), "rotation");
        if (has(map, "fill"))
            s.fillColor = colour(field(map, "fill"), "fill");
        if (has(map, "stroke"))
            s.strokeColor = colour(field(map, "stroke"), "stroke");
        s.lineWidth = real(field(map, "lineWidth"), "lineWidth", 10000);
        s.opacity = real(field(map, "opacity"), "opacity", 1.0);
        s.startLineMarker = ShapeElement::LineMarker(name(field(map, "startMarker"), kMarkers, "startMarker"));
        s.endLineMarker = ShapeElement::LineMarker(name(field(map, "endMarker"), kMarkers, "endMarker"));
        s.attributedText = text(field(map, "text"));
        s.allowedInteractions = interactions(map);
        s.autoresizing = int(integer(field(map, "autoresizing"), "autoresizing", 0, 0xffff));
        return s;
    }

    ImageElement image(const QVariantMap &map)
    {
        ImageElement i;
        i.id = identity<ImageElement>(map);
        const QByteArray png = data(field(map, "png"), "png");
        const qint64 room = m_limits.maxTotalImagePixels - m_imagePixels;
        const DecodedImage decoded = decodeImage(png, {qMin(m_limits.maxImagePixels, room), m_limits.maxImageSide}, "png");
        if (!decoded.ok())
            fail(decoded.failure == DecodedImage::Failure::TooLarge ? QStringLiteral("image too large") : QStringLiteral("unreadable image"));
        m_imagePixels += qint64(decoded.image.width()) * decoded.image.height();
        i.image = MarkupImage(decoded.image, png);
        i.frame = rect(field(map, "frame"), "frame");
        i.rotation = real(field(map, "rotation"), "rotation");
        i.orientation = int(integer(field(map, "orientation"), "orientation", 1, 8));
        i.opacity = real(field(map, "opacity"), "opacity", 1.0);
        i.contentsBounds = rect(field(map, "contentsBounds"), "contentsBounds");
        if (has(map, "accessibilityDescription"))
            i.accessibilityDescription = string(field(map, "accessibilityDescription"), "accessibilityDescription");
        i.allowedInteractions = interactions(map);
        return i;
    }

    StrokeElement stroke(const QVariantMap &map)
    {
        StrokeElement s;
        s.id = identity<StrokeElement>(map);
        const QVariantMap ink = dictionary(field(map, "ink"), "ink");
        s.ink.type = Ink::Type(name(field(ink, "type"), kInks, "ink type"));
        s.ink.color = colour(field(ink, "color"), "ink color");
        s.ink.width = real(field(ink, "width"), "ink width", 10000);
        const QByteArray packed = data(field(map, "points"), "points");
        constexpr qsizetype pointBytes = kDoublesPerStrokePoint * qsizetype(sizeof(double));
        if (packed.size() % pointBytes != 0)
            fail(QStringLiteral("bad stroke points"));
        const qsizetype count = packed.size() / pointBytes;
        if (count > m_limits.maxStrokePoints - m_strokePoints)
            fail(QStringLiteral("too many stroke points"));
        m_strokePoints += count;
        s.points.reserve(count);
        const char *in = packed.constData();
        auto next = [&](double limit) {
            const double v = qFromLittleEndian<double>(in);
            in += sizeof(double);
            if (!std::isfinite(v) || std::abs(v) > limit)
                fail(QStringLiteral("stroke point out of range"));
            return v;
        };
        const double c = m_limits.maxCoordinate;
        for (qsizetype k = 0; k < count; ++k) {
            StrokePoint p;
            p.location.setX(next(c));
            p.location.setY(next(c));
            p.timeOffset = next(c);
            p.size.setWidth(next(c));
            p.size.setHeight(next(c));
            p.opacity = next(c);
            p.force = next(c);
            p.azimuth = next(c);
            p.altitude = next(c);
            s.points.append(p);
        }
        const QVariantList t = array(field(map, "transform"), "transform");
        if (t.size() != 6)
            fail(QStringLiteral("bad transform"));
        s.transform = QTransform(real(t[0], "transform"), real(t[1], "transform"), real(t[2], "transform"), real(t[3], "transform"),
                                 real(t[4], "transform"), real(t[5], "transform"));
        s.creationDate = real(field(map, "creationDate"), "creationDate", 1e12);
        s.allowedInteractions = interactions(map);
        return s;
    }

private:
    const MarkupDataLimits &m_limits;
    qint64 m_imagePixels = 0;
    qsizetype m_strokePoints = 0;
    qsizetype m_textLength = 0;
};

} // namespace

QVariantMap encode(const Markup &markup)
{
    QVariantList elements;
    elements.reserve(markup.subelements().size());
    for (const MarkupElement &e : markup.subelements()) {
        if (const auto *s = e.shape())
            elements << encodeShape(*s);
        else if (const auto *i = e.image())
            elements << encodeImage(*i);
        else
            elements << encodeStroke(*e.stroke());
    }
    QVariantMap root{{QStringLiteral("format"), QString::fromLatin1(kFormat)},
                     {QStringLiteral("version"), qint64(kVersion)},
                     {QStringLiteral("bounds"), rect(markup.bounds())},
                     {QStringLiteral("elements"), elements}};
    // Any colour but the default one is kept, however faint: a colour whose alpha rounds to 0
    // in eight bits is still one the reader gives back.
    if (markup.backgroundColor() != QColor(Qt::transparent))
        root.insert(QStringLiteral("background"), colour(markup.backgroundColor()));
    return root;
}

Markup decode(const QVariant &rootValue, const MarkupDataLimits &limits)
{
    Reader reader(limits);
    const QVariantMap root = Reader::dictionary(rootValue, "markup");
    if (reader.string(Reader::field(root, "format"), "format") != QLatin1String(kFormat))
        Reader::fail(QStringLiteral("not markup data"));
    if (Reader::integer(Reader::field(root, "version"), "version", 1, 1 << 20) > kVersion)
        Reader::fail(QStringLiteral("markup data of a newer version"));
    Markup markup(reader.rect(Reader::field(root, "bounds"), "bounds"));
    if (Reader::has(root, "background"))
        markup.setBackgroundColor(reader.colour(Reader::field(root, "background"), "background"));
    const QVariantList elements = Reader::array(Reader::field(root, "elements"), "elements");
    if (elements.size() > limits.maxElements)
        Reader::fail(QStringLiteral("too many elements"));
    for (const QVariant &value : elements) {
        const QVariantMap map = Reader::dictionary(value, "element");
        const QString kind = reader.string(Reader::field(map, "kind"), "kind");
        std::optional<MarkupElement> element;
        if (kind == QLatin1String("shape"))
            element = reader.shape(map);
        else if (kind == QLatin1String("image"))
            element = reader.image(map);
        else if (kind == QLatin1String("stroke"))
            element = reader.stroke(map);
        else
            Reader::fail(QStringLiteral("unknown element kind"));
        const qsizetype before = markup.subelements().size();
        markup.subelements().append(*element);
        if (markup.subelements().size() != before + 1)
            Reader::fail(QStringLiteral("duplicate identity"));
    }
    return markup;
}

} // namespace Platform::MarkupCoding
