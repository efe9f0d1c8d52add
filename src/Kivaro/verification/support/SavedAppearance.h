#pragma once
// The application's appearance setting, remembered when made and given back when destroyed:
// a runner that switches between light and dark leaves the setting as it found it on every way
// out. The desktop's own scheme is never touched.
//
// Main thread only.

#include "NativeAppAppearance/Appearance.h"

#include <optional>

namespace Kivaro::VerificationSupport {

class SavedAppearance final {
public:
    SavedAppearance();
    ~SavedAppearance();
    SavedAppearance(const SavedAppearance &) = delete;
    SavedAppearance &operator=(const SavedAppearance &) = delete;

    // The setting as it was (nothing: following the desktop).
    const std::optional<NativeAppAppearance::Appearance> &saved() const { return m_saved; }
    // Gives the setting back now (again when destroyed).
    void restore() const;

private:
    std::optional<NativeAppAppearance::Appearance> m_saved;
};

} // namespace Kivaro::VerificationSupport
