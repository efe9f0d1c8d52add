#pragma once
// Character error rate of recognised text against the expected text.
//
// Both texts are normalised first, so that only what a reader would call a misreading counts:
// compatibility forms folded (NFKC: full-width Latin letters, digits and punctuation, "…"),
// curly quotes made straight, every run of white space and line feeds made one space, and
// spaces next to a Chinese character dropped (the engine spaces Chinese text freely). The
// rate is the edit distance (insertions, deletions, substitutions of code points) over the
// length of the normalised expected text. Reading lines in the wrong order counts: the moved
// text is deleted in one place and inserted in another.

#include <QString>

namespace TextScreens {

QString normalizedForComparison(const QString &text);

struct CharacterErrors {
    qint64 edits = 0;
    qint64 length = 0; // of the normalised expected text

    double rate() const { return length > 0 ? double(edits) / double(length) : (edits > 0 ? 1.0 : 0.0); }
    CharacterErrors &operator+=(const CharacterErrors &other)
    {
        edits += other.edits;
        length += other.length;
        return *this;
    }
};

CharacterErrors characterErrors(const QString &expected, const QString &recognized);

// True for the Han ideographs and the CJK symbols and punctuation.
bool isChineseCharacter(char32_t c);

} // namespace TextScreens
