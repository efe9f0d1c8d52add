#include "Platform/HotKeys/InProcessHotKeyService.h"

#include "Support/TaskTesting.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Platform;

namespace {
constexpr HotKeyChord chord4{21, 0x1900}; // ⌃⌥⌘4
constexpr HotKeyIdentity kvro1{0x4B56524F, 1};
} // namespace

TEST(InProcessHotKeyService, RegistersOnceAndRefusesWhatIsTaken)
{
    InProcessHotKeyService service;
    const HotKeyRegistration registration = service.registerHotKey(chord4, kvro1);
    ASSERT_EQ(registration.status, HotKeyStatus::registered);
    EXPECT_EQ(service.registerHotKey(chord4, {kvro1.signature, 2}).status, HotKeyStatus::occupied);

    service.occupyElsewhere({23, 0x1100});
    EXPECT_EQ(service.registerHotKey({23, 0x1100}, kvro1).status, HotKeyStatus::occupied);
    service.unregisterHotKey(registration.reference);
    EXPECT_EQ(service.registerHotKey(chord4, kvro1).status, HotKeyStatus::registered);

    service.setAvailable(false);
    EXPECT_EQ(service.registerHotKey({22, 0x1100}, kvro1).status, HotKeyStatus::unavailable);
}

TEST(InProcessHotKeyService, APressIsDeliveredFromTheEventLoop)
{
    InProcessHotKeyService service;
    service.registerHotKey(chord4, kvro1);
    QSignalSpy pressed(&service, &HotKeyService::hotKeyPressed);
    EXPECT_TRUE(service.press(chord4));
    EXPECT_EQ(pressed.count(), 0) << "never inside the press itself";
    EXPECT_FALSE(service.press({21, 0x1100}));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return pressed.count() == 1; }));
    EXPECT_EQ(pressed.first().first().value<HotKeyIdentity>(), kvro1);
}
