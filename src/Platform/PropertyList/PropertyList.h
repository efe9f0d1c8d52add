#pragma once
// Property lists as QVariant trees: binary ("bplist00") read and written, XML read.
//
// Types map one to one, because callers tell a stored string from stored data and a Boolean
// from a number:
//   dictionary  <-> QVariantMap          array   <-> QVariantList
//   string      <-> QString              data    <-> QByteArray
//   Boolean     <-> bool                 integer <-> qint64 (written from any integral type)
//   real        <-> double               date    <-> QDateTime (UTC, millisecond precision)
//
// Decoding is bounded while it builds, before anything large is allocated: the size of the
// input, the nesting depth, the number of nodes and the bytes of text and data, both counted
// after shared references are expanded (a small binary file whose objects refer to each other
// many times would otherwise expand exponentially). Work is linear in what the bounds allow.
// Whatever cannot be represented faithfully is refused rather than changed: a string with a
// NUL character, an integer outside the signed 64-bit range, a date beyond the range of
// QDateTime, an XML document that declares entities. A file that breaks a bound, or is not a
// well-formed property list, throws PropertyListError; so does running out of memory.
//
// The binary form is read and written here rather than through libplist 2.2, whose date
// interface carries 32-bit seconds, which aborts on a UTF-16 string holding U+0000, and whose
// dictionary building is quadratic in the number of keys.

#include <QByteArray>
#include <QVariant>

#include <stdexcept>

namespace Platform {

class PropertyListError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The nesting a property list may have, the top value counting as one. The writer refuses
// deeper values, so everything it writes reads back under the default limits.
inline constexpr int kPropertyListMaxDepth = 32;

struct PropertyListLimits {
    qsizetype maxBytes = 256 * 1024 * 1024;
    // At most 512, whatever is asked.
    int maxDepth = kPropertyListMaxDepth;
    // Values, dictionary keys included.
    qint64 maxNodes = 2'000'000;
    // Decoded text (two bytes a character, keys included) and data, every reference to a
    // shared object counted again. Negative: four times the size of the input, and at least
    // 64 MB, which leaves room for the shared keys and the occasional shared image of a file
    // another writer deduplicated, but not for a small file that expands a thousandfold.
    qint64 maxExpandedBytes = -1;
};

// Decodes a binary or XML property list. Throws PropertyListError.
QVariant decodePropertyList(const QByteArray &bytes, const PropertyListLimits &limits = {});

// Encodes `root` as a binary property list. Throws PropertyListError for a value of a type
// outside the table above (an invalid QVariant included), a string or key holding a NUL
// character, an unsigned integer above the signed 64-bit range, an invalid date and nesting
// deeper than kPropertyListMaxDepth. A lone UTF-16 surrogate in a string or key is written as
// U+FFFD, which other readers accept; the reader takes one in a file as U+FFFD too.
QByteArray encodePropertyList(const QVariant &root);

// True when `bytes` begins like a binary property list.
bool looksLikeBinaryPropertyList(const QByteArray &bytes);

} // namespace Platform
