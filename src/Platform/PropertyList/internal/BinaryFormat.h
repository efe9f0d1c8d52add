#pragma once
// The layout of a binary property list, shared by its reader and writer.
//
// "bplist00", the objects, a table of object offsets, then a 32-byte trailer: six unused
// bytes, the size of an offset, the size of an object reference, the number of objects, the
// top object and the table's offset (the last three as 8-byte big-endian integers). Each object
// starts with a marker byte: its type in the high nibble and, for sized types, its length in
// the low one (0xF: the length follows as an integer object).

#include <QByteArray>
#include <QtGlobal>

namespace Platform::PropertyListCoding {

inline constexpr char kBinaryMagic[] = "bplist00";
inline constexpr qsizetype kBinaryMagicSize = sizeof(kBinaryMagic) - 1;
inline constexpr qsizetype kTrailerSize = 32;

namespace Marker {
inline constexpr quint8 falseValue = 0x08;
inline constexpr quint8 trueValue = 0x09;
inline constexpr quint8 integer = 0x1;
inline constexpr quint8 real = 0x2;
inline constexpr quint8 date = 0x3;
inline constexpr quint8 data = 0x4;
inline constexpr quint8 asciiString = 0x5;
inline constexpr quint8 utf16String = 0x6;
inline constexpr quint8 array = 0xA;
inline constexpr quint8 set = 0xC;
inline constexpr quint8 dictionary = 0xD;
} // namespace Marker

// Dates are seconds, as an 8-byte real, from 2001-01-01 00:00 UTC.
inline constexpr qint64 kDateEpochMSecs = 978'307'200'000;
// Dates further than this from the epoch are refused: about 285,000 years, well inside both
// QDateTime and the exact integers of a double.
inline constexpr double kMaxDateMSecs = 9e15;

} // namespace Platform::PropertyListCoding
