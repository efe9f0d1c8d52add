#pragma once
// The receipt a copy-and-hide leaves for a verification run: "copy-receipt.json" in the
// evidence folder, only when the process was started with "--ui-session" and a folder after
// "--evidence-dir". Keys: "copied" (true), "clipboardMatchedAtCopy" (the pasteboard's PNG read
// back right after the write equals the written bytes), "windowVisible" (the editor window
// after it was hidden), "width" and "height" (of the PNG, 0 when it does not decode) and
// "sha256" (of the PNG bytes, lowercase hexadecimal).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kivaro::detail::CopyReceipt {

// The evidence folder for `arguments` (program path first), or nothing when no receipt is due.
std::optional<QString> folder(const QStringList &arguments);
QByteArray json(const QByteArray &png, bool clipboardMatched, bool windowVisible);
// Writes the receipt as a private file, only into a real folder of the user's that nobody else
// may write (PointerTrace::isValidFolder); throws FileError.
void write(const QString &folder, const QByteArray &json);

} // namespace Kivaro::detail::CopyReceipt
