#include "Platform/PropertyList/PropertyList.h"

#include "Support/HandMadePropertyList.h"

#include <QDateTime>
#include <QPointF>
#include <QRandomGenerator>
#include <QTimeZone>

#include <bit>
#include <cmath>
#include <ctime>
#include <limits>

#include <gtest/gtest.h>

using namespace Platform;

namespace {

QByteArray handMade(const QList<QByteArray> &objects, quint64 top = 0)
{
    return HandMade::List{objects, 1, top}.bytes();
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

    // Plain deep nesting beyond the limit (41 arrays, written by another writer).
    QList<QByteArray> nested;
    for (int i = 0; i < 40; ++i)
        nested.append(QByteArray("\xA1") + char(i + 1));
    nested.append(QByteArray("\xA0", 1));
    EXPECT_THROW(decodePropertyList(handMade(nested)), PropertyListError);
    limits.maxDepth = 50;
    EXPECT_NO_THROW(decodePropertyList(handMade(nested), limits));

    limits = {};
    limits.maxBytes = 16;
    EXPECT_THROW(decodePropertyList(encodePropertyList(QVariantMap{{QStringLiteral("k"), QString(100, QLatin1Char('x'))}}), limits),
                 PropertyListError);
}

TEST(PropertyList, AStringHoldingNulIsRefusedInEveryEncodingAsValueOrKey)
{
    using HandMade::ascii;
    using HandMade::utf16;
    const QString nul = QStringLiteral("画") + QChar(0) + QStringLiteral("框");
    const QByteArray asciiNul = ascii(QByteArray("ab\0cd", 5));
    for (const QByteArray &text : {utf16(nul), asciiNul}) {
        EXPECT_THROW(decodePropertyList(handMade({text})), PropertyListError) << "a value";
        EXPECT_THROW(decodePropertyList(handMade({QByteArray("\xA1\x01", 2), text})), PropertyListError) << "inside an array";
        EXPECT_THROW(decodePropertyList(handMade({QByteArray("\xD1\x01\x02", 3), text, QByteArray("\x09", 1)})), PropertyListError)
            << "a key";
    }
    // The same shapes without the NUL read as they are.
    const QVariantMap good = decodePropertyList(handMade({QByteArray("\xD1\x01\x02", 3), utf16(QStringLiteral("画框")), ascii("ok")})).toMap();
    EXPECT_EQ(good.value(QStringLiteral("画框")).toString(), QStringLiteral("ok"));

    EXPECT_THROW(decodePropertyList("<plist><string>a&#0;b</string></plist>"), PropertyListError);
    EXPECT_THROW(decodePropertyList("<plist><dict><key>a&#x0;</key><true/></dict></plist>"), PropertyListError);
}

TEST(PropertyList, LongArraysAndDictionariesDecodeInOnePass)
{
    // 100,000 distinct strings: four-byte references and offsets on the way out and back.
    QVariantList strings;
    for (int i = 0; i < 100'000; ++i)
        strings.append(QString::number(i));
    const QVariantList back = decodePropertyList(encodePropertyList(strings)).toList();
    ASSERT_EQ(back.size(), strings.size());
    EXPECT_EQ(back.last().toString(), QStringLiteral("99999"));

    // 1.9 million one-byte references to one Boolean: 1.9 MB, inside the default node bound.
    const quint64 count = 1'900'000;
    HandMade::List many;
    many.objects = {HandMade::marker(0xA, count) + QByteArray(qsizetype(count), '\x01'), QByteArray("\x09", 1)};
    const QVariantList trues = decodePropertyList(many.bytes()).toList();
    ASSERT_EQ(quint64(trues.size()), count);
    EXPECT_TRUE(trues.last().toBool());
    PropertyListLimits fewer;
    fewer.maxNodes = 1'000'000;
    EXPECT_THROW(decodePropertyList(many.bytes(), fewer), PropertyListError);

    // A dictionary of 200,000 keys, written and read, and the same as XML.
    QVariantMap keys;
    QByteArray xml("<plist><dict>");
    for (int i = 0; i < 200'000; ++i) {
        keys.insert(QStringLiteral("k%1").arg(i), i);
        xml += "<key>k" + QByteArray::number(i) + "</key><integer>" + QByteArray::number(i) + "</integer>";
    }
    xml += "</dict></plist>";
    EXPECT_EQ(decodePropertyList(encodePropertyList(keys)).toMap().size(), keys.size());
    const QVariantMap fromXml = decodePropertyList(xml).toMap();
    EXPECT_EQ(fromXml.size(), keys.size());
    EXPECT_EQ(fromXml.value(QStringLiteral("k199999")).toLongLong(), 199'999);
}

TEST(PropertyList, SharedDataAndTextCountOncePerReference)
{
    // 10,000 references to one 16 KB data object (or string): a 36 KB file that expands to
    // 160 MB (or twice that as text).
    const int references = 10'000;
    for (const QByteArray &shared : {HandMade::data(QByteArray(16 * 1024, 'x')), HandMade::ascii(QByteArray(16 * 1024, 'x'))}) {
        HandMade::List bomb;
        bomb.refSize = 2;
        bomb.objects = {HandMade::marker(0xA, references) + QByteArray(references, '\0').replace('\0', QByteArray("\x00\x01", 2)),
                        shared};
        const QByteArray file = bomb.bytes();
        ASSERT_LT(file.size(), 64 * 1024);
        EXPECT_THROW(decodePropertyList(file), PropertyListError);
        PropertyListLimits limits;
        limits.maxExpandedBytes = 400'000'000;
        EXPECT_EQ(decodePropertyList(file, limits).toList().size(), references) << "within the bound it decodes";
    }
    // Keys count too: a dictionary whose 100 keys are one long shared string is still bounded.
    PropertyListLimits limits;
    limits.maxExpandedBytes = 1000;
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\xD2\x01\x01\x02\x02", 5), HandMade::ascii(QByteArray(600, 'k')),
                                              QByteArray("\x09", 1)}),
                                    limits),
                 PropertyListError);
}

TEST(PropertyList, DatesKeepTheirRangeAndIntegersOutsideQint64AreRefused)
{
    const auto utc = [](int year, int month, int day) { return QDateTime(QDate(year, month, day), QTime(12, 30, 15, 250), QTimeZone::utc()); };
    for (const QDateTime &date : {utc(2070, 1, 1), utc(1900, 6, 30), utc(1601, 1, 1), utc(9999, 12, 31), utc(2001, 1, 1)}) {
        const QVariant back = decodePropertyList(encodePropertyList(QVariantList{date})).toList().value(0);
        EXPECT_EQ(back.toDateTime(), date) << date.toString(Qt::ISODateWithMs).toStdString();
    }
    // As other writers store it: 2,145,916,800 seconds after 2001 is 2069-01-01.
    EXPECT_EQ(decodePropertyList(handMade({QByteArray("\x33", 1) + HandMade::bigEndian(std::bit_cast<quint64>(2'145'916'800.0), 8)}))
                  .toDateTime(),
              QDateTime(QDate(2069, 1, 1), QTime(0, 0), QTimeZone::utc()));
    EXPECT_THROW(decodePropertyList(handMade({QByteArray("\x33", 1) + HandMade::bigEndian(std::bit_cast<quint64>(1e300), 8)})),
                 PropertyListError);
    EXPECT_THROW(encodePropertyList(QDateTime()), PropertyListError);

    EXPECT_EQ(decodePropertyList(encodePropertyList(quint64(std::numeric_limits<qint64>::max()))).toLongLong(),
              std::numeric_limits<qint64>::max());
    EXPECT_EQ(decodePropertyList(encodePropertyList(std::numeric_limits<qint64>::min())).toLongLong(), std::numeric_limits<qint64>::min());
    EXPECT_THROW(encodePropertyList(quint64(1) << 63), PropertyListError);
    EXPECT_THROW(encodePropertyList(QVariantMap{{QStringLiteral("n"), std::numeric_limits<quint64>::max()}}), PropertyListError);

    // Sixteen-byte integers: a sign-extended 64-bit value reads, anything larger is refused.
    const auto wide = [](quint64 high, quint64 low) {
        return handMade({QByteArray("\x14", 1) + HandMade::bigEndian(high, 8) + HandMade::bigEndian(low, 8)});
    };
    EXPECT_EQ(decodePropertyList(wide(0, 5)).toLongLong(), 5);
    EXPECT_EQ(decodePropertyList(wide(~quint64(0), quint64(-7))).toLongLong(), -7);
    EXPECT_THROW(decodePropertyList(wide(0, ~quint64(0))), PropertyListError);
    EXPECT_THROW(decodePropertyList(wide(1, 0)), PropertyListError);
}

TEST(PropertyList, XmlPropertyListsReadAsTheirBinaryForm)
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Example//DTD PLIST 1.0//EN" "https://example.invalid/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- written by another tool -->
<dict>
	<key>text</key>
	<string>画框选区 &amp; &lt;✓&gt;</string>
	<key>cdata</key>
	<string><![CDATA[a<b]]></string>
	<key>data</key>
	<data>
	AAH/
	</data>
	<key>yes</key>
	<true/>
	<key>no</key>
	<false></false>
	<key>int</key>
	<integer>-42</integer>
	<key>hex</key>
	<integer>0x10</integer>
	<key>real</key>
	<real>0.25</real>
	<key>date</key>
	<date>2070-01-01T00:00:00Z</date>
	<key>list</key>
	<array><integer>1</integer><string>a</string><dict/></array>
	<key>empty</key>
	<string></string>
</dict>
</plist>
)";
    const QVariantMap map = decodePropertyList(xml).toMap();
    const QVariantMap expected{
        {QStringLiteral("text"), QStringLiteral("画框选区 & <✓>")},
        {QStringLiteral("cdata"), QStringLiteral("a<b")},
        {QStringLiteral("data"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("yes"), true},
        {QStringLiteral("no"), false},
        {QStringLiteral("int"), qint64(-42)},
        {QStringLiteral("hex"), qint64(16)},
        {QStringLiteral("real"), 0.25},
        {QStringLiteral("date"), QDateTime(QDate(2070, 1, 1), QTime(0, 0), QTimeZone::utc())},
        {QStringLiteral("list"), QVariantList{qint64(1), QStringLiteral("a"), QVariantMap{}}},
        {QStringLiteral("empty"), QString()},
    };
    EXPECT_EQ(map, expected);
    EXPECT_EQ(map.value(QStringLiteral("yes")).typeId(), QMetaType::Bool);
    EXPECT_EQ(map.value(QStringLiteral("data")).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(decodePropertyList(encodePropertyList(map)).toMap(), map);
}

// A byte above 127 in a document declared US-ASCII is not well-formed: refused whole, never read
// as U+FFFD. The same byte in a Latin-1 document, and ASCII text declared ASCII, read as usual.
TEST(PropertyList, AnXmlListDeclaredAsciiHoldingAByteAbove127IsRefusedWhole)
{
    for (const QByteArray &name : {QByteArray("ascii"), QByteArray("US-ASCII"), QByteArray("us-ascii")}) {
        const QByteArray head = "<?xml version=\"1.0\" encoding=\"" + name + "\"?>\n<plist version=\"1.0\">";
        EXPECT_THROW(decodePropertyList(head + "<string>caf\xe9</string></plist>"), PropertyListError) << name.constData();
        EXPECT_THROW(decodePropertyList(head + "<dict><key>k\x80</key><true/></dict></plist>"), PropertyListError) << name.constData();
        EXPECT_EQ(decodePropertyList(head + "<string>cafe &#233;</string></plist>"), QVariant(QStringLiteral("cafe é")));
    }
    EXPECT_EQ(decodePropertyList("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist><string>caf\xe9</string></plist>"),
              QVariant(QStringLiteral("café")));
}

TEST(PropertyList, HostileXmlIsRefusedWithinTheSameBounds)
{
    const auto refused = [](const QByteArray &xml, const PropertyListLimits &limits = {}) {
        try {
            decodePropertyList(xml, limits);
        } catch (const PropertyListError &) {
            return true;
        }
        return false;
    };
    // Entities that expand a billion times, whether used or only declared.
    QByteArray laughs(R"(<?xml version="1.0"?><!DOCTYPE plist [<!ENTITY l0 "lol">)");
    for (int i = 1; i < 10; ++i)
        laughs += QByteArray("<!ENTITY l") + QByteArray::number(i) + " \"" + QByteArray("&l").append(QByteArray::number(i - 1)).append(";").repeated(10) + "\">";
    EXPECT_TRUE(refused(laughs + "]><plist><string>&l9;</string></plist>"));
    EXPECT_TRUE(refused(laughs + "]><plist><string>quiet</string></plist>"));
    EXPECT_TRUE(refused("<plist><string>&undeclared;</string></plist>"));
    EXPECT_TRUE(refused(R"(<!DOCTYPE plist SYSTEM "file:///etc/passwd"><plist><string>&x;</string></plist>)"));

    // Malformed, misplaced and out-of-range content.
    for (const char *bad : {"<plist><string>open</plist>", "<plist></plist>", "<plist><true/><true/></plist>",
                            "<plist><string>a</string></plist><plist/>", "<plist><dict><true/></dict></plist>",
                            "<plist><dict><key>k</key></dict></plist>", "<plist><array>loose text</array></plist>",
                            "<plist><string><b>nested</b></string></plist>", "<plist><integer>9223372036854775808</integer></plist>",
                            "<plist><integer>-99999999999999999999</integer></plist>", "<plist><integer>12abc</integer></plist>",
                            "<plist><real>fast</real></plist>", "<plist><date>soon</date></plist>", "<plist><data>@@@@</data></plist>",
                            "<plist><true>yes</true></plist>", "<plist><uid>1</uid></plist>", "<root><true/></root>", "   "}) {
        EXPECT_TRUE(refused(bad)) << bad;
    }
    EXPECT_FALSE(refused("<plist><integer>-9223372036854775808</integer></plist>"));

    // Depth, node, size and expansion bounds.
    EXPECT_TRUE(refused("<plist>" + QByteArray("<array>").repeated(100'000) + QByteArray("</array>").repeated(100'000) + "</plist>"));
    PropertyListLimits small;
    small.maxNodes = 1000;
    EXPECT_TRUE(refused("<plist><array>" + QByteArray("<true/>").repeated(1000) + "</array></plist>", small));
    EXPECT_FALSE(refused("<plist><array>" + QByteArray("<true/>").repeated(999) + "</array></plist>", small));
    small = {};
    small.maxBytes = 1000;
    EXPECT_TRUE(refused("<plist><string>" + QByteArray(1000, 'x') + "</string></plist>", small));
    small.maxBytes = 10'000;
    small.maxExpandedBytes = 1000;
    EXPECT_TRUE(refused("<plist><string>" + QByteArray(600, 'x') + "</string></plist>", small));
    EXPECT_TRUE(refused("<plist><data>" + QByteArray(1001, 'x').toBase64() + "</data></plist>", small));
    EXPECT_FALSE(refused("<plist><data>" + QByteArray(1000, 'x').toBase64() + "</data></plist>", small));
}

TEST(PropertyList, WhatTheWriterAcceptsTheReaderReads)
{
    // Nesting: the writer refuses exactly where the reader would.
    const auto nestedArrays = [](int depth) {
        QVariant value = QVariantList{};
        for (int i = 1; i < depth; ++i)
            value = QVariantList{value};
        return value;
    };
    EXPECT_NO_THROW(decodePropertyList(encodePropertyList(nestedArrays(kPropertyListMaxDepth))));
    EXPECT_THROW(encodePropertyList(nestedArrays(kPropertyListMaxDepth + 1)), PropertyListError);
    QVariant inDictionaries = QVariantMap{};
    for (int i = 1; i <= kPropertyListMaxDepth; ++i)
        inDictionaries = QVariantMap{{QStringLiteral("k"), inDictionaries}};
    EXPECT_THROW(encodePropertyList(inDictionaries), PropertyListError);

    // Half a surrogate pair becomes the replacement character; whole pairs stay.
    const QString high = QString(QChar(0xD83D)), low = QString(QChar(0xDE00));
    const QString replacement = QString(QChar(QChar::ReplacementCharacter));
    const QList<std::pair<QString, QString>> texts = {
        {QStringLiteral("a") + high, QStringLiteral("a") + replacement},
        {low + QStringLiteral("b"), replacement + QStringLiteral("b")},
        {low + high, replacement + replacement},
        {high + low + high, high + low + replacement},
        {high + high + low, replacement + high + low},
    };
    for (const auto &[written, read] : texts) {
        const QByteArray file = encodePropertyList(QVariantMap{{written, written}});
        EXPECT_FALSE(file.contains("\xD8\x3D\x00") && !read.contains(high)) << written.size();
        EXPECT_EQ(decodePropertyList(file).toMap(), (QVariantMap{{read, read}}));
    }
    // Keys that would become one are refused rather than merged.
    EXPECT_THROW(encodePropertyList(QVariantMap{{QStringLiteral("a") + high, 1}, {QStringLiteral("a") + low, 2}}), PropertyListError);
    EXPECT_THROW(encodePropertyList(QVariantMap{{QStringLiteral("a") + high, 1}, {QStringLiteral("a") + replacement, 2}}), PropertyListError);

    // A file an earlier build wrote with a lone surrogate still opens.
    const QByteArray earlier = handMade({QByteArray("\xA1\x01", 2), QByteArray("\x62\x00\x61\xD8\x3D", 5)});
    EXPECT_EQ(decodePropertyList(earlier).toList().value(0).toString(), QStringLiteral("a") + replacement);
}

TEST(PropertyList, DatesAreUtcInEveryFormAndRoundedFromTheExactValue)
{
    const auto xmlDate = [](const char *text) {
        return decodePropertyList(QByteArray("<plist><date>") + text + "</date></plist>").toDateTime();
    };
    const QDateTime expected(QDate(2070, 1, 1), QTime(0, 0), QTimeZone::utc());
    // Read the same under any zone of the machine.
    const QByteArray zone = qgetenv("TZ");
    for (const char *tz : {"UTC", "Asia/Taipei", "America/Los_Angeles"}) {
        qputenv("TZ", tz);
        tzset();
        EXPECT_EQ(xmlDate("2070-01-01T00:00:00Z"), expected) << tz;
        EXPECT_EQ(xmlDate("2070-01-01T00:00:00"), expected) << tz;
    }
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
    for (const char *bad : {"2070-01-01T00:00:00+01:00", "2070-01-01T00:00:00-08:00", "2069-12-31T24:00:00Z", "2070-01-01 00:00:00Z",
                            "2070-01-01t00:00:00Z", "2070-01-01T00:00:00z", " 2070-01-01T00:00:00Z", "2070-01-01T00:00:00Z ",
                            "2070-01-01T00:00:00.5Z", "2070-02-30T00:00:00Z", "2070-01-01T00:00:60Z", "\xEF\xBC\x92\x30\x37\x30-01-01T00:00:00Z"}) {
        EXPECT_THROW(xmlDate(bad), PropertyListError) << bad;
    }

    // Binary dates: seconds as a double, rounded to the nearest millisecond from the exact
    // value. Far from 2001 a double's product with 1000 can land on the wrong side of a half.
    const auto binaryDate = [](double seconds) {
        QByteArray object("\x33", 1);
        const quint64 bits = std::bit_cast<quint64>(seconds);
        for (int shift = 56; shift >= 0; shift -= 8)
            object += char((bits >> shift) & 0xFF);
        return decodePropertyList(handMade({QByteArray("\xA1\x01", 2), object})).toList().value(0).toDateTime().toMSecsSinceEpoch();
    };
    constexpr qint64 epoch = 978'307'200'000;
    EXPECT_EQ(binaryDate(0.0004999), epoch);
    EXPECT_EQ(binaryDate(0.0005), epoch + 1);
    EXPECT_EQ(binaryDate(-0.0005), epoch - 1);
    EXPECT_EQ(binaryDate(-1.2346), epoch - 1235);
    // Just below, on and above a half millisecond, all over the range: the exact product of
    // a double and 1000 fits the 64-bit significand of a long double here.
    static_assert(std::numeric_limits<long double>::digits >= 63);
    QRandomGenerator random(30);
    int wrongBefore = 0;
    for (int i = 0; i < 3000; ++i) {
        const qint64 ms = qint64(random.generate64() % 17'800'000'000'000'000ULL) - 8'900'000'000'000'000;
        const double nearHalf = (double(ms) + 0.5) / 1000.0;
        for (const double seconds : {std::nextafter(nearHalf, -1e300), nearHalf, std::nextafter(nearHalf, 1e300)}) {
            const qint64 exact = qint64(std::llroundl((long double)seconds * 1000.0L));
            wrongBefore += std::llround(seconds * 1000.0) != exact;
            EXPECT_EQ(binaryDate(seconds), exact + epoch) << std::hexfloat << seconds;
        }
    }
    EXPECT_GT(wrongBefore, 0) << "the cases reach no value a product in double precision rounds wrongly";
}

TEST(PropertyList, XmlThatIsNotWellFormedOrDataWithoutPaddingIsRefused)
{
    const auto refused = [](const QByteArray &xml) {
        try {
            decodePropertyList(xml);
        } catch (const PropertyListError &) {
            return true;
        }
        return false;
    };
    for (const QByteArray &text : {QByteArray("a]\0b", 4), QByteArray("a\0b", 3), QByteArray("]\0", 2), QByteArray("]]\0", 3),
                                   QByteArray("\0", 1)}) {
        EXPECT_TRUE(refused("<plist><string>" + text + "</string></plist>")) << text.toHex().toStdString();
        EXPECT_TRUE(refused("<plist><array><string>x</string></array>" + text + "</plist>")) << text.toHex().toStdString();
    }
    EXPECT_TRUE(refused(QByteArray("<plist><true/></plist>\0", 23)));
    EXPECT_FALSE(refused("<plist><string>a]b</string></plist>"));

    for (const char *data : {"A", "AB", "ABC", "QUJD\nRA", "QQ=", "QUJDRA="})
        EXPECT_TRUE(refused(QByteArray("<plist><data>") + data + "</data></plist>")) << data;
    EXPECT_EQ(decodePropertyList("<plist><data>QUJD\n RA==</data></plist>").toByteArray(), QByteArray("ABCD"));
    EXPECT_EQ(decodePropertyList("<plist><data></data></plist>").toByteArray(), QByteArray());
}
