#pragma once
// Styled text of a shape: a string and runs of attributes that cover it exactly. Runs with
// equal attributes are merged, so two texts that look the same compare equal.
//
// An empty font family means the user-interface font; font sizes are in canvas points (the
// markup's pixels). Paragraph settings follow the usual typesetting model: indents from the
// left edge, a negative tail indent from the right edge, spacing in points.

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

namespace Platform {

enum class TextAlignment : quint8 { Natural, Left, Center, Right, Justified };
enum class LineBreakMode : quint8 { WordWrapping, CharWrapping, Clipping };

struct ParagraphStyle {
    TextAlignment alignment = TextAlignment::Natural;
    LineBreakMode lineBreakMode = LineBreakMode::WordWrapping;
    double lineSpacing = 0;
    double paragraphSpacing = 0;
    double paragraphSpacingBefore = 0;
    double firstLineHeadIndent = 0;
    double headIndent = 0;
    double tailIndent = 0;

    friend bool operator==(const ParagraphStyle &, const ParagraphStyle &) = default;
};

struct TextAttributes {
    QString fontFamily;
    double fontSize = 12;
    int fontWeight = 400; // 100 (thin) to 900 (black), 400 regular, 700 bold
    bool italic = false;
    std::optional<QColor> foregroundColor; // none: black
    std::optional<ParagraphStyle> paragraphStyle;

    friend bool operator==(const TextAttributes &, const TextAttributes &) = default;
};

struct TextRun {
    int length = 0;
    TextAttributes attributes;

    friend bool operator==(const TextRun &, const TextRun &) = default;
};

class AttributedText final {
public:
    AttributedText() = default;
    explicit AttributedText(const QString &text, const TextAttributes &attributes = {});

    const QString &string() const { return m_string; }
    const QList<TextRun> &runs() const { return m_runs; }
    bool isEmpty() const { return m_string.isEmpty(); }
    qsizetype length() const { return m_string.size(); }

    // The attributes at a UTF-16 index; none outside the text.
    std::optional<TextAttributes> attributesAt(qsizetype index) const;
    void append(const QString &text, const TextAttributes &attributes);
    // Replaces the runs; fails (returns false, changes nothing) unless their lengths add up
    // to the string's length and none is empty.
    bool setRuns(const QList<TextRun> &runs);

    friend bool operator==(const AttributedText &, const AttributedText &) = default;

private:
    void normalise();

    QString m_string;
    QList<TextRun> m_runs;
};

} // namespace Platform
