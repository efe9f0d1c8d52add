#pragma once
// The appearance audit's "summary.json": pretty-printed JSON with sorted keys.

#include "NativeAppAppearance/NativeAppearanceAudit.h"

#include <QByteArray>

#include <optional>

namespace NativeAppAppearance::AuditReport {

// Makes the evidence folder ready: a missing one is created private (0700); one the user named
// that exists is used as it is, unless it is a symbolic link or not a folder; the default
// folder is made private. An error description when the folder cannot be used.
std::optional<QString> prepareFolder(const QString &folder);

QByteArray json(bool passed, const QList<NativeAppearanceAudit::Capture> &captures, const QString &error);
// Writes the summary into `folder`; an error description when that failed.
std::optional<QString> write(const QString &folder, bool passed, const QList<NativeAppearanceAudit::Capture> &captures,
                             const QString &error);

} // namespace NativeAppAppearance::AuditReport
