#pragma once
// A document on a loaded picture, with helpers to read its undo history and catch refusals.

#include "DocumentFixtures.h"

#include "Kivaro/document/ShotDocument.h"

#include "KivaroCore/ShotError.h"
#include "Support/TaskTesting.h"

#include <gtest/gtest.h>

namespace DocumentFixtures {

struct AnnotatedDocument : ::testing::Test {
    Kivaro::ShotDocument document;
    int changes = 0;

    void SetUp() override
    {
        document.canvas()->resize(800, 600);
        document.didChange = [this] { ++changes; };
        document.load(picture(400, 300), false);
    }
    Platform::UndoManager *undo() const { return document.canvas()->undoManager(); }
    const Platform::MarkupOrderedSet &elements() const { return document.canvas()->markup()->subelements(); }
    void select(const QList<ElementID> &ids) { document.canvas()->setSelection(ids); }
    // Lets the event loop close the undo group of the current event, as the next user event would.
    static void nextEvent() { QCoreApplication::processEvents(); }

    // The message of the ShotError `operation` throws; empty when it throws nothing.
    static QString refusal(const std::function<void()> &operation)
    {
        try {
            operation();
        } catch (const Kivaro::ShotError &error) {
            return error.text();
        }
        return {};
    }
    // The same for an asynchronous operation, awaited.
    static QString refusal(Platform::Task<void> task)
    {
        try {
            TestSupport::run(std::move(task));
        } catch (const Kivaro::ShotError &error) {
            return error.text();
        }
        return {};
    }
    // `operation` is refused with `message`, leaves the state as it was and records no step.
    void expectRefused(const QString &message, const std::function<void()> &operation)
    {
        const Kivaro::ShotState before = document.state();
        const int steps = undo()->undoCount();
        EXPECT_EQ(refusal(operation), message);
        EXPECT_EQ(document.state(), before);
        EXPECT_EQ(undo()->undoCount(), steps);
    }
};

} // namespace DocumentFixtures
