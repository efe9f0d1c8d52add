#include "DocumentFixtures.h"

#include "Kivaro/document/ProjectArchive.h"

#include "KivaroCore/ShotError.h"
#include "Platform/Image/PngEncoder.h"
#include "Platform/PropertyList/PropertyList.h"
#include "Support/TaskTesting.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

QVariantMap minimalRecord(const ShotState &state)
{
    return {{QStringLiteral("format"), QStringLiteral("Kivaro")},
            {QStringLiteral("version"), qint64(1)},
            {QStringLiteral("markupData"), state.markup.dataRepresentation()},
            {QStringLiteral("links"), QVariantList{}},
            {QStringLiteral("masks"), QVariantList{}}};
}

QString formatMessageOf(const QVariantMap &record)
{
    try {
        ProjectArchive::decode(encodePropertyList(record));
    } catch (const ShotError &error) {
        return error.text();
    }
    return {};
}

const QString kFormatMessage = QStringLiteral("工程格式不受支持，请更新应用后重试。");

} // namespace

TEST(ProjectArchive, RoundTripsTheWholeStateWithAndWithoutBackground)
{
    const ShotState state = richState();
    const QByteArray bytes = TestSupport::run(ProjectArchive::encode(state));
    EXPECT_TRUE(looksLikeBinaryPropertyList(bytes));
    EXPECT_EQ(ProjectArchive::decode(bytes), state);
    EXPECT_EQ(decodePropertyList(bytes).toMap().size(), 9);

    ShotState bare = state;
    bare.mosaicBackground.reset();
    bare.mosaicGrain = 64;
    const QByteArray without = ProjectArchive::encodeNow(bare);
    EXPECT_EQ(decodePropertyList(without).toMap().size(), 8);
    EXPECT_EQ(ProjectArchive::decode(without), bare);
}

TEST(ProjectArchive, ReadsTheMinimalRecordAndTheOlderBareMarkupForm)
{
    const ShotState state = richState();
    const ShotState minimal = ProjectArchive::decode(encodePropertyList(minimalRecord(state)));
    EXPECT_EQ(minimal.markup, state.markup);
    EXPECT_TRUE(minimal.mosaics.isEmpty());
    EXPECT_TRUE(minimal.steps.isEmpty());
    EXPECT_FALSE(minimal.mosaicBackground.has_value());
    EXPECT_EQ(minimal.mosaicGrain, 24);

    const ShotState older = ProjectArchive::decode(state.markup.dataRepresentation());
    EXPECT_EQ(older.markup, state.markup);
    EXPECT_TRUE(older.links.isEmpty());
    EXPECT_EQ(older.mosaicGrain, 24);

    EXPECT_THROW(ProjectArchive::decode(Platform::encodePng(picture(4, 4))), MarkupDataError);
    EXPECT_THROW(ProjectArchive::decode(QByteArray("hello")), MarkupDataError);
    // A record of the wrong shape is read as bare markup and fails as markup.
    QVariantMap wrong = minimalRecord(state);
    wrong[QStringLiteral("links")] = QStringLiteral("none");
    EXPECT_THROW(ProjectArchive::decode(encodePropertyList(wrong)), MarkupDataError);
}

TEST(ProjectArchive, RefusesOtherFormatsVersionsAndTooManyLinksOrMasks)
{
    const ShotState state = richState();
    QVariantMap record = minimalRecord(state);
    record[QStringLiteral("format")] = QStringLiteral("kivaro");
    EXPECT_EQ(formatMessageOf(record), kFormatMessage);
    for (qint64 version : {0LL, 3LL, -1LL}) {
        record = minimalRecord(state);
        record[QStringLiteral("version")] = version;
        EXPECT_EQ(formatMessageOf(record), kFormatMessage) << version;
    }

    const QVariantMap link{{QStringLiteral("bubbleID"), MarkupID<ShapeElement>::make().toString()},
                           {QStringLiteral("arrowID"), MarkupID<ShapeElement>::make().toString()},
                           {QStringLiteral("anchor"), QVariantList{1.0, 2.0}}};
    QVariantList links, masks;
    for (int k = 0; k < 1000; ++k) {
        links << link;
        masks << MarkupID<ShapeElement>::make().toString();
    }
    record = minimalRecord(state);
    record[QStringLiteral("links")] = links;
    record[QStringLiteral("masks")] = masks;
    EXPECT_EQ(ProjectArchive::decode(encodePropertyList(record)).links.size(), 1000);
    links << link;
    record[QStringLiteral("links")] = links;
    EXPECT_EQ(formatMessageOf(record), kFormatMessage);
    links.removeLast();
    masks << MarkupID<ShapeElement>::make().toString();
    record[QStringLiteral("links")] = links;
    record[QStringLiteral("masks")] = masks;
    EXPECT_EQ(formatMessageOf(record), kFormatMessage);
}

// Mended: the grain is range-checked, the background's pixel count is checked from its header
// and the markup inside is decoded with bounds.
TEST(ProjectArchive, RefusesInsaneGrainsHugeBackgroundsAndHostileMarkup)
{
    const ShotState state = richState();
    for (qint64 grain : {0LL, -24LL, 513LL, 1LL << 40}) {
        QVariantMap record = minimalRecord(state);
        record[QStringLiteral("mosaicGrain")] = grain;
        EXPECT_EQ(formatMessageOf(record), kFormatMessage) << grain;
    }
    for (qint64 grain : {1LL, 512LL}) {
        QVariantMap record = minimalRecord(state);
        record[QStringLiteral("mosaicGrain")] = grain;
        EXPECT_EQ(ProjectArchive::decode(encodePropertyList(record)).mosaicGrain, grain);
    }

    QByteArray huge = Platform::encodePng(picture(2, 2));
    auto put = [&huge](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            huge[at + i] = char(v >> (24 - 8 * i));
    };
    put(16, 100000); // IHDR width and height: 100000 × 100000, with the chunk's CRC to match
    put(20, 100000);
    put(29, quint32(crc32(0, reinterpret_cast<const Bytef *>(huge.constData() + 12), 17)));
    QVariantMap record = minimalRecord(state);
    record[QStringLiteral("mosaicBackground")] = huge;
    EXPECT_EQ(formatMessageOf(record), kFormatMessage);

    QVariantMap markup = decodePropertyList(state.markup.dataRepresentation()).toMap();
    QVariantList elements = markup[QStringLiteral("elements")].toList();
    for (int k = 0; k < 25000; ++k)
        elements << elements.last();
    markup[QStringLiteral("elements")] = elements;
    record = minimalRecord(state);
    record[QStringLiteral("markupData")] = encodePropertyList(markup);
    EXPECT_THROW(ProjectArchive::decode(encodePropertyList(record)), MarkupDataError);
}

// Mended: the writer wrote whatever it was given, also projects its own reader refuses.
TEST(ProjectArchive, TheWriterRefusesWhatTheReaderWouldRefuse)
{
    const QString message = QStringLiteral("这张截图超出了工程文件的限制，无法保存。");
    auto refusal = [](const ShotState &state) {
        QString sync, async;
        try {
            ProjectArchive::encodeNow(state);
        } catch (const ShotError &error) {
            sync = error.text();
        }
        try {
            TestSupport::run(ProjectArchive::encode(state));
        } catch (const ShotError &error) {
            async = error.text();
        }
        EXPECT_EQ(sync, async);
        return sync;
    };
    const ShotState state = richState();
    EXPECT_EQ(refusal(state), QString());

    ShotState links = state;
    while (links.links.size() <= ProjectArchive::kMaxLinks)
        links.links.append(state.links.first());
    EXPECT_EQ(refusal(links), message);
    ShotState masks = state;
    while (masks.masks.size() <= ProjectArchive::kMaxMasks)
        masks.masks.append(MarkupID<ShapeElement>::make());
    EXPECT_EQ(refusal(masks), message);
    for (qint64 grain : {0LL, 513LL}) {
        ShotState grained = state;
        grained.mosaicGrain = grain;
        EXPECT_EQ(refusal(grained), message) << grain;
    }
    ShotState crowded = state;
    for (int k = 0; k < MarkupDataLimits().maxElements; ++k)
        crowded.markup.subelements().append(shape(QRectF(k % 100, 0, 1, 1)));
    EXPECT_EQ(refusal(crowded), message);
    // Patches are pixels of their own: eleven over a 3000 × 3100 picture pass the markup's total.
    ShotState patched = state;
    QImage large(3000, 3100, QImage::Format_RGB32);
    large.fill(Qt::gray);
    ImageElement patch;
    patch.image = MarkupImage(large);
    for (int k = 0; k < 11; ++k) {
        patch.id = MarkupID<ImageElement>::make();
        patched.markup.subelements().append(patch);
    }
    EXPECT_EQ(refusal(patched), message);
}
