#pragma once
// Character classes the recogniser's steps share.

#include <QString>

namespace Tellumo::detail {

// A Han ideograph (the CJK unified ideographs and their extensions, and the compatibility ones).
inline bool isIdeograph(char32_t c)
{
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x2FA1F);
}

// A character that takes a full-width cell: ideographs, CJK symbols and punctuation, full-width
// forms.
inline bool isWideCharacter(char32_t c)
{
    return isIdeograph(c) || (c >= 0x2E80 && c <= 0x33FF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60);
}

// A printable ASCII character other than the space.
inline bool isLatin(char32_t c)
{
    return c > U' ' && c < 0x80;
}

inline int ideographCount(const QString &text)
{
    int count = 0;
    for (char32_t c : text.toUcs4())
        count += isIdeograph(c);
    return count;
}

} // namespace Tellumo::detail
