#pragma once
// Names of saved projects and exports.

#include <QString>

#include <optional>

namespace Kivaro::detail::ProjectFiles {

// The name a project is written under: `chosen` itself when its extension is "kivaro" in any
// letter case, otherwise `chosen` with ".kivaro" appended ("x.png" becomes "x.png.kivaro").
QString withProjectExtension(const QString &chosen);
// The name a PNG export is written under: `chosen` itself when its extension is "png" in any
// letter case, otherwise `chosen` with ".png" appended ("x.jpg" becomes "x.jpg.png").
QString withPNGExtension(const QString &chosen);
// The save panel's suggested project name: the open file's name, else "未命名.kivaro".
QString suggestedProjectName(const std::optional<QString> &fileURL);
// The open panel's filter: the readable image types and projects.
QString openFilter();

} // namespace Kivaro::detail::ProjectFiles
