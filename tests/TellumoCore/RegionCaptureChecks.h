#pragma once
// What a region capture promises while one runs, whichever tool draws the selection.

#include "TellumoCore/ScreenRegionCapture.h"
#include "TellumoCore/TellumoError.h"

#include "Support/TaskTesting.h"

#include <gtest/gtest.h>

// A second capture meanwhile is refused with its message, and the first one goes on.
inline void expectASecondCaptureRefused(Tellumo::ScreenRegionCapture &capture)
{
    try {
        TestSupport::run(capture.capture());
        ADD_FAILURE() << "a second capture ran";
    } catch (const Tellumo::TellumoError &error) {
        EXPECT_EQ(error.code(), 2);
        EXPECT_EQ(error.description(), QStringLiteral("截图选区正在进行，请先完成或按 Esc 取消。"));
    }
    EXPECT_TRUE(capture.isRunning()) << "the first capture goes on";
}
