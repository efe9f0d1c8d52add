#include "Kivaro/verification/support/SavedAppearance.h"

#include "NativeAppAppearance/AppearanceManager.h"

namespace Kivaro::VerificationSupport {

using NativeAppAppearance::AppearanceManager;

SavedAppearance::SavedAppearance() : m_saved(AppearanceManager::shared().applicationAppearance()) {}

SavedAppearance::~SavedAppearance()
{
    restore();
}

void SavedAppearance::restore() const
{
    AppearanceManager::shared().setApplicationAppearance(m_saved);
}

} // namespace Kivaro::VerificationSupport
