#pragma once
// Binary property lists ("bplist00") as QVariant trees, through libplist.
//
// Types map one to one, because callers tell a stored string from stored data and a Boolean
// from a number:
//   dictionary  <-> QVariantMap          array   <-> QVariantList
//   string      <-> QString              data    <-> QByteArray
//   Boolean     <-> bool                 integer <-> qint64 (written from any integral type)
//   real        <-> double               date    <-> QDateTime (UTC)
//
// Decoding is bounded before libplist sees the bytes: the size of the input, the nesting
// depth and the number of nodes after shared references are expanded (a small file whose
// objects refer to each other many times would otherwise expand exponentially). A file that
// breaks a bound, or is not a well-formed binary property list, throws PropertyListError.

#include <QByteArray>
#include <QVariant>

#include <stdexcept>

namespace Platform {

class PropertyListError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PropertyListLimits {
    qsizetype maxBytes = 256 * 1024 * 1024;
    int maxDepth = 32;
    qint64 maxNodes = 2'000'000;
};

// Decodes a binary property list. Throws PropertyListError.
QVariant decodePropertyList(const QByteArray &bytes, const PropertyListLimits &limits = {});

// Encodes `root` as a binary property list. Throws PropertyListError for a value of a type
// outside the table above (an invalid QVariant included).
QByteArray encodePropertyList(const QVariant &root);

// True when `bytes` begins like a binary property list.
bool looksLikeBinaryPropertyList(const QByteArray &bytes);

} // namespace Platform
