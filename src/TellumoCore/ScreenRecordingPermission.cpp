#include "TellumoCore/ScreenRecordingPermission.h"

#include "Platform/ScreenCapture/ScreenSource.h"

namespace Tellumo {

ScreenRecordingPermission::~ScreenRecordingPermission() = default;

bool DisplayScreenRecordingPermission::isGranted() const
{
    return Platform::displayReachable();
}

} // namespace Tellumo
