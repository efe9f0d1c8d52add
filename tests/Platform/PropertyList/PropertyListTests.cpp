#include "Platform/PropertyList/PropertyList.h"

#include <QDateTime>
#include <QPointF>
#include <QRandomGenerator>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace Platform;

namespace {

// Builds a minimal bplist00 by hand: objects laid out in order, one-byte offsets and refs.
QByteArray handMade(const QList<QByteArray> &objects, quint8 top = 0)
{
    QByteArray out("bplist00");
    QList<int> offsets;
    for (const QByteArray &object : objects) {
        offsets.append(int(out.size()));
        out += object;
    }
    const int table = int(out.size());
    for (int offset : offsets)
        out += char(offset);
    QByteArray trailer(32, '\0');
    trailer[6] = 1; // offset size
    trailer[7] = 1; // ref size
    trailer[15] = char(objects.size());
    trailer[23] = char(top);
    trailer[31] = char(table);
    return out + trailer;
}

} // namespace

TEST(PropertyList, RoundTripKeepsEveryType)
{
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, QTimeZone::utc());
    QVariantMap root{
        {QStringLiteral("text"), QStringLiteral("画框选区 ✓")},
        {QStringLiteral("data"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("yes"), true},
        {QStringLiteral("int"), qint64(-42)},
        {QStringLiteral("big"), qint64(1) << 40},
        {QStringLiteral("real"), 0.25},
        {QStringLiteral("date"), date},
        {QStringLiteral("list"), QVariantList{1, QStringLiteral("a"), QVariantMap{{QStringLiteral("k"), false}}}},
        {QStringLiteral("empty"), QVariantMap{}},
    };
    const QVariant back = decodePropertyList(encodePropertyList(root));
    const QVariantMap map = back.toMap();
    EXPECT_EQ(map.value(QStringLiteral("text")).typeId(), QMetaType::QString);
    EXPECT_EQ(map.value(QStringLiteral("data")).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(map.value(QStringLiteral("yes")).typeId(), QMetaType::Bool);
    EXPECT_EQ(map.value(QStringLiteral("int")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value(QStringLiteral("real")).typeId(), QMetaType::Double);
    EXPECT_EQ(map.value(QStringLiteral("int")).toLongLong(), -42);
    EXPECT_EQ(map.value(QStringLiteral("big")).toLongLong(), qint64(1) << 40);
    EXPECT_EQ(map.value(QStringLiteral("data")).toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(map.value(QStringLiteral("date")).toDateTime(), date);
    EXPECT_EQ(map.value(QStringLiteral("text")).toString(), QStringLiteral("画框选区 ✓"));
    EXPECT_EQ(map.value(QStringLiteral("list")).toList().size(), 3);
}

TEST(PropertyList, UnsupportedValuesAreRefusedWhenEncoding)
{
    EXPECT_THROW(encodePropertyList(QVariant()), PropertyListError);
    EXPECT_THROW(encodePropertyList(QVariantMap{{QStringLiteral("p"), QPointF(1, 2)}}), PropertyListError);
    // A NUL would cut the stored text short without a word.
    EXPECT_THROW(encodePropertyList(QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))), PropertyListError);
}

TEST(PropertyList, MalformedInputThrowsInsteadOfCrashing)
{
    EXPECT_THROW(decodePropertyList(QByteArray()), PropertyListError);
    EXPECT_THROW(decodePropertyList(QByteArray("<?xml version=\"1.0\"?><plist/>")), PropertyListError);
    EXPECT_THROW(decodePropertyList(QByteArray("bplist00")), PropertyListError);

    // Offsets, refs and lengths that point outside the object area.
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\xA1\x05", 2)})), PropertyListError); // ref 5 of 1 object
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\x5F\x10\x7F", 3)})), PropertyListError); // string of 127 chars
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\x4F\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10)})), PropertyListError);
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\x70", 1)})), PropertyListError); // unknown marker
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\x51" "a", 2)}, 3)), PropertyListError); // top out of range
    // A dictionary whose key is not a string.
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\xD1\x01\x01", 3), QByteArray("\x10\x01", 2)})), PropertyListError);

    // Random damage to a valid list never crashes.
    const QByteArray good = encodePropertyList(QVariantMap{{QStringLiteral("a"), QVariantList{1, 2, QStringLiteral("x")}}});
    QRandomGenerator random(7);
    for (int round = 0; round < 2000; ++round) {
        QByteArray damaged = good;
        for (int flips = 0; flips < 3; ++flips)
            damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
        try {
            decodePropertyList(damaged);
        } catch (const PropertyListError &) {
        }
    }
}

TEST(PropertyList, CyclesDeepNestingAndExpansionBombsAreRefused)
{
    // An array that contains itself.
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\xA1\x00", 2)})), PropertyListError);

    // Each array refers twice to the next: 40 levels expand to 2^40 nodes.
    QList<QByteArray> bomb;
    for (int i = 0; i < 40; ++i)
        bomb.append(QByteArray("\xA2") + char(i + 1) + char(i + 1));
    bomb.append(QByteArray("\x09", 1));
    PropertyListLimits limits;
    limits.maxDepth = 64;
    EXPECT_THROW(decodePropertyList(handMade(bomb), limits), PropertyListError);

    // One array referring to itself 60,000 times, under a limit of 100,000 nodes: each visit
    // would queue 60,000 more, so it must be refused before the queue grows.
    {
        const quint32 count = 60'000;
        QByteArray object("\xAF\x12", 2);
        for (int shift = 24; shift >= 0; shift -= 8)
            object += char((count >> shift) & 0xff);
        object += QByteArray(int(count), '\0');
        QByteArray file("bplist00");
        file += object;
        const int table = int(file.size());
        file += QByteArray("\x00\x00\x00\x08", 4); // offset of object 0, four bytes wide
        QByteArray trailer(32, '\0');
        trailer[6] = 4;
        trailer[7] = 1;
        trailer[15] = 1;
        for (int i = 0; i < 4; ++i)
            trailer[28 + i] = char((table >> (24 - 8 * i)) & 0xff);
        file += trailer;
        PropertyListLimits small;
        small.maxNodes = 100'000;
        EXPECT_THROW(decodePropertyList(file, small), PropertyListError);
    }

    // Plain deep nesting beyond the limit.
    QVariant nested = QVariantList{};
    for (int i = 0; i < 40; ++i)
        nested = QVariantList{nested};
    EXPECT_THROW(decodePropertyList(encodePropertyList(nested)), PropertyListError);
    limits.maxDepth = 50;
    EXPECT_NO_THROW(decodePropertyList(encodePropertyList(nested), limits));

    limits = {};
    limits.maxBytes = 16;
    EXPECT_THROW(decodePropertyList(encodePropertyList(QVariantMap{{QStringLiteral("k"), QString(100, QLatin1Char('x'))}}), limits),
                 PropertyListError);
}
