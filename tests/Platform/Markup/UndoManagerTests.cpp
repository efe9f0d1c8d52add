#include "Platform/Markup/UndoManager.h"

#include "Support/TaskTesting.h"

#include <gtest/gtest.h>

using namespace Platform;

namespace {
// A value whose every change registers its own undo, the way the document does.
struct Counter {
    UndoManager &undo;
    int value = 0;
    void set(int next, const QString &name = {})
    {
        const int old = value;
        undo.registerUndo([this, old] { set(old); });
        if (!name.isEmpty())
            undo.setActionName(name);
        value = next;
    }
};
void endEvent()
{
    QCoreApplication::processEvents();
}
} // namespace

TEST(UndoManager, GroupsEverythingOneEventRegistersIntoOneStep)
{
    UndoManager undo;
    Counter c{undo};
    c.set(1);
    c.set(2, QStringLiteral("two"));
    EXPECT_EQ(undo.groupingLevel(), 1);
    endEvent();
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_EQ(undo.undoCount(), 1);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("two"));
    undo.undo();
    EXPECT_EQ(c.value, 0);
    ASSERT_TRUE(undo.canRedo());
    EXPECT_EQ(undo.redoActionName(), QStringLiteral("two"));
    undo.redo();
    EXPECT_EQ(c.value, 2);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("two"));
}

TEST(UndoManager, ExplicitGroupsNestAndUndoClosesTheOpenEventGroup)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter c{undo};
    undo.beginUndoGrouping();
    c.set(1);
    undo.beginUndoGrouping();
    c.set(2, QStringLiteral("inner"));
    undo.endUndoGrouping();
    EXPECT_EQ(undo.groupingLevel(), 1);
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoCount(), 1);
    undo.beginUndoGrouping();
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoCount(), 1) << "an empty group is dropped";

    // Without grouping by event, each registration outside a group is a step of its own.
    c.set(3);
    c.set(4);
    EXPECT_EQ(undo.undoCount(), 3);

    undo.setGroupsByEvent(true);
    c.set(5, QStringLiteral("pending"));
    EXPECT_EQ(undo.groupingLevel(), 1);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("pending"));
    undo.undo(); // closes the event group first
    EXPECT_EQ(c.value, 4);
    EXPECT_EQ(undo.groupingLevel(), 0);
    undo.undo();
    undo.undo();
    undo.undo();
    EXPECT_EQ(c.value, 0);
    EXPECT_FALSE(undo.canUndo());
    endEvent();
}

TEST(UndoManager, NewRegistrationClearsRedoButRegistrationWhileRedoingDoesNot)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter c{undo};
    c.set(1, QStringLiteral("a"));
    c.set(2, QStringLiteral("b"));
    undo.undo();
    undo.undo();
    EXPECT_EQ(undo.redoCount(), 2);
    undo.redo();
    EXPECT_EQ(undo.redoCount(), 1) << "redoing registers an undo without clearing the remaining redo";
    EXPECT_EQ(c.value, 1);
    c.set(7);
    EXPECT_FALSE(undo.canRedo());
}

TEST(UndoManager, DisabledRegistrationAndRemovingActions)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter c{undo};
    undo.disableUndoRegistration();
    undo.disableUndoRegistration();
    c.set(1);
    undo.enableUndoRegistration();
    c.set(2);
    EXPECT_FALSE(undo.canUndo());
    undo.enableUndoRegistration();
    undo.enableUndoRegistration(); // unbalanced: ignored
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    c.set(3);
    int other = 0;
    undo.registerUndo([&] { other = 1; }, &other);
    EXPECT_EQ(undo.undoCount(), 2);
    undo.removeAllActions(&other);
    EXPECT_EQ(undo.undoCount(), 1);
    undo.beginUndoGrouping();
    undo.disableUndoRegistration();
    undo.removeAllActions();
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    EXPECT_FALSE(undo.canUndo());
}
