#include "DocumentFixtures.h"

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace DocumentFixtures;

TEST(ShotState, EqualityComparesEveryFieldByValue)
{
    const ShotState a = richState();
    ShotState b = a;
    EXPECT_EQ(a, b);
    b.mosaicBackground = QByteArray(*a.mosaicBackground); // an equal copy in another buffer
    b.mosaicBackground->detach();
    EXPECT_EQ(a, b);

    auto differs = [&](const std::function<void(ShotState &)> &change) {
        ShotState c = a;
        change(c);
        return !(c == a);
    };
    EXPECT_TRUE(differs([](ShotState &s) { s.links[0].anchor.rx() += 1e-9; }));
    EXPECT_TRUE(differs([](ShotState &s) { s.masks.clear(); }));
    EXPECT_TRUE(differs([](ShotState &s) { s.mosaics.append(s.mosaics.first()); }));
    EXPECT_TRUE(differs([](ShotState &s) { s.mosaicBackground.reset(); }));
    EXPECT_TRUE(differs([](ShotState &s) { (*s.mosaicBackground)[40] = char(~(*s.mosaicBackground)[40]); }));
    EXPECT_TRUE(differs([](ShotState &s) { s.steps[0].number = 2; }));
    EXPECT_TRUE(differs([](ShotState &s) { s.mosaicGrain = 24; }));
    EXPECT_TRUE(differs([](ShotState &s) {
        ShapeElement moved = *s.markup.subelements().at(1).shape();
        moved.frame.translate(1, 0);
        s.markup.subelements().updateOrAppend(moved);
    }));
    // Equal content built apart compares equal, pictures included.
    ShotState rebuilt = a;
    ImageElement base = *a.markup.subelements().at(0).image();
    base.image = MarkupImage(picture(200, 100));
    rebuilt.markup.subelements().updateOrAppend(base);
    EXPECT_EQ(rebuilt, a);
}
