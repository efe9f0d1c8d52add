#pragma once
// A look at a whisper model file before whisper's loader reads it. The loader trusts every
// count and size in the file: a file cut short inside its header leaves fields unread, and the
// loader then fails an assertion and ends the process. This check walks the header (magic,
// hyperparameters, mel filters, vocabulary) within the file's bounds and with sane limits, and
// requires weights after it; it does not check the weights, which the loader itself checks by
// name, shape and size.

#include <QString>

#include <optional>

namespace Platform::detail {

// Why the file at `path` is not a whisper model whisper can safely be given, or nothing.
std::optional<QString> whisperModelFault(const QString &path);

} // namespace Platform::detail
