#pragma once
// Whether this process may read the screens.
//
// On X11 there is no per-application permission: any client of a reachable display may read
// it. So the answer is whether a display answers, and asking for access has nothing to ask
// for. The interface stays so that the refusal path of every caller can be exercised.

#include <memory>

namespace Tellumo {

class ScreenRecordingPermission {
public:
    virtual ~ScreenRecordingPermission();
    virtual bool isGranted() const = 0;
    // Asks the user for access where the platform has such a question.
    virtual void request() = 0;
};

// Granted exactly when an X display answers; `request` has nothing to do.
class DisplayScreenRecordingPermission final : public ScreenRecordingPermission {
public:
    bool isGranted() const override;
    void request() override {}
};

} // namespace Tellumo
