#pragma once
// The appearance audit's "summary.json": pretty-printed JSON with sorted keys.

#include "NativeAppAppearance/NativeAppearanceAudit.h"

#include <QByteArray>

#include <optional>

namespace NativeAppAppearance::AuditReport {

QByteArray json(bool passed, const QList<NativeAppearanceAudit::Capture> &captures, const QString &error);
// Writes the summary into `folder`; an error description when that failed.
std::optional<QString> write(const QString &folder, bool passed, const QList<NativeAppearanceAudit::Capture> &captures,
                             const QString &error);

} // namespace NativeAppAppearance::AuditReport
