// What a resident recogniser keeps between screens: wide lines are read in slices so that no
// engine grows to hold the widest line it ever met, the reference characters' fonts are let go
// once no recognition runs, and a picture of any format is read from one copy.

#include "TellumoCore/TextRecognizer.h"
#include "TellumoCore/internal/LineSlices.h"
#include "TellumoCore/internal/OcrEngines.h"

#include "Support/TaskTesting.h"
#include "TextScreens/TextScreens.h"

#include <QFile>
#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

using namespace Tellumo;
using namespace Tellumo::detail;

namespace {

constexpr int kTaskTimeout = 60000;

// Black text on white at `pixels`, with room around it, as the line pictures are drawn.
QImage linePicture(const QString &text, int pixels, const QString &family = QStringLiteral("DejaVu Sans"), bool underlined = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setUnderline(underlined);
    const int width = QFontMetrics(font).horizontalAdvance(text) + 2 * pixels;
    QImage picture(width, pixels * 3 / 2 + 20, QImage::Format_Grayscale8);
    picture.fill(255);
    QPainter painter(&picture);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(pixels, pixels + 10), text);
    return picture;
}

bool blankColumn(const QImage &picture, int x)
{
    for (int y = 0; y < picture.height(); ++y)
        if (picture.constScanLine(y)[x] < 195)
            return false;
    return true;
}

// Each slice holds the columns [offset + pad, ...) of the picture between its pads; together
// they are the picture.
QImage reassembled(const std::vector<PictureSlice> &slices, const QImage &picture, std::vector<int> &cuts)
{
    QImage whole(picture.size(), QImage::Format_Grayscale8);
    whole.fill(0);
    for (size_t i = 0; i < slices.size(); ++i) {
        const int from = i == 0 ? 0 : cuts[i - 1], to = i + 1 < slices.size() ? cuts[i] : picture.width();
        for (int y = 0; y < picture.height(); ++y)
            for (int x = from; x < to; ++x)
                whole.scanLine(y)[x] = slices[i].picture.constScanLine(y)[x - slices[i].offset];
    }
    return whole;
}

int mappingsOf(const QString &fileName)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    return int(maps.readAll().count(fileName.toUtf8()));
}

} // namespace

// A picture no wider than the widest slice is read whole; a wider one is cut, in blank columns
// only, into slices no wider than a quarter above the widest, which together give back the
// picture; the cut between two words is a word break, the cut between two letters is none.
TEST(LineSlices, AWideLineIsCutInItsBlanksAndKnowsWhichCutsPartWords)
{
    const QImage narrow = linePicture(QStringLiteral("Save changes"), 30);
    ASSERT_LE(narrow.width(), kWidestSlice);
    const std::vector<PictureSlice> one = pictureSlices(narrow);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].picture, narrow);

    const QImage wide = linePicture(QStringLiteral("The network connection was lost and syncing will resume automatically once you are back online"), 40);
    ASSERT_GT(wide.width(), 2 * kWidestSlice);
    const std::vector<PictureSlice> slices = pictureSlices(wide);
    ASSERT_GE(slices.size(), 3u);
    std::vector<int> cuts;
    for (size_t i = 1; i < slices.size(); ++i) {
        const int pad = i == 0 ? 0 : std::max(6, wide.height() / 4);
        cuts.push_back(slices[i].offset + pad);
        EXPECT_TRUE(blankColumn(wide, cuts.back())) << "cut at " << cuts.back();
        // Words of this face stand a space apart: every cut in a blank this wide is between words.
        EXPECT_TRUE(slices[i].wordBreakBefore) << "cut at " << cuts.back();
    }
    for (const PictureSlice &slice : slices)
        EXPECT_LE(slice.picture.width(), kWidestSlice * 5 / 4 + 2 * std::max(6, wide.height() / 4));
    EXPECT_EQ(reassembled(slices, wide, cuts), wide);

    // A word longer than the room, cut between its letters.
    const QImage word = linePicture(QString(40, QLatin1Char('m')), 30);
    const std::vector<PictureSlice> letters = pictureSlices(word, 300);
    ASSERT_GE(letters.size(), 2u);
    for (size_t i = 1; i < letters.size(); ++i)
        EXPECT_FALSE(letters[i].wordBreakBefore);
}

// An underlined link has no blank column: it is cut where only the underline crosses, between
// words, not through a letter.
TEST(LineSlices, AnUnderlinedLinkIsCutWhereOnlyItsUnderlineRuns)
{
    const QImage link = linePicture(QStringLiteral("read the release notes of every version on the project's download page"), 30,
                                    QStringLiteral("DejaVu Sans"), true);
    const std::vector<PictureSlice> slices = pictureSlices(link, 600);
    ASSERT_GE(slices.size(), 2u);
    const int pad = std::max(6, link.height() / 4);
    for (size_t i = 1; i < slices.size(); ++i) {
        const int cut = slices[i].offset + pad;
        int ink = 0;
        for (int y = 0; y < link.height(); ++y)
            ink += link.constScanLine(y)[cut] < 195;
        EXPECT_LE(ink, 3) << "cut at " << cut << " crosses a letter";
        EXPECT_TRUE(slices[i].wordBreakBefore);
    }
}

// An engine never reads a picture wider than a slice, and a wide line still comes back as one
// line with its words and spaces: before, each engine grew to hold the widest line it had read.
TEST(RecognitionMemory, AWideLineIsReadInSlicesAndGivenBackAsOneLine)
{
    const QString sentence = QStringLiteral("Syncing will resume automatically once you are back online, and you can retry it in the settings later");
    const QImage wide = linePicture(sentence, 40);
    ASSERT_GT(wide.width(), 2 * kWidestSlice);
    const OcrReading reading = OcrEngines::read(OcrModel::english, wide, {});
    ASSERT_EQ(reading.lines.size(), 1);
    EXPECT_EQ(reading.lines[0], sentence);
    EXPECT_GT(reading.confidence, 70);
    EXPECT_LE(OcrEngines::widestPictureRead(), kWidestSlice * 5 / 4 + 2 * std::max(6, wide.height() / 4));

    // The characters' boxes are those of the whole picture.
    const QImage chinese = linePicture(QStringLiteral("根据交通部门发布的通知，从下个月起，市区将新增四条夜间公交线路，并对现有的六条线路进行调整"), 36,
                                       QStringLiteral("Noto Sans CJK SC"));
    ASSERT_GT(chinese.width(), kWidestSlice * 3 / 2);
    OcrEngines::ReadRequest request;
    request.withSymbols = true;
    const OcrReading symbols = OcrEngines::read(OcrModel::simplified, chinese, request);
    ASSERT_GT(symbols.symbols.size(), 30u);
    EXPECT_GT(symbols.symbols.back().box.right(), kWidestSlice * 5 / 4);
    for (size_t i = 1; i < symbols.symbols.size(); ++i)
        EXPECT_GE(symbols.symbols[i].box.left(), symbols.symbols[i - 1].box.left()) << i;
}

// The reference characters that tell the Chinese scripts apart are drawn on a thread of their
// own, which ends, and lets the fonts' files go, once no recognition runs. Before, they were
// drawn on the recognition workers, which kept the faces mapped until they ended.
TEST(RecognitionMemory, TheReferenceFacesAreLetGoOnceNoRecognitionRuns)
{
    using namespace TextScreens;
    const Screen traditional = render({Scene::chat, Language::traditional, Theme::light, 16, Framing::region, 0, Face::notoSansTC});
    const Screen simplified = render({Scene::article, Language::simplified, Theme::dark, 14, Framing::region, 0, Face::wenQuanYi});
    const QString noto = QStringLiteral("NotoSansCJK-Regular.ttc"), wenQuanYi = QStringLiteral("wqy-microhei.ttc");
    const int notoBefore = mappingsOf(noto), wenQuanYiBefore = mappingsOf(wenQuanYi);
    for (const Screen *screen : {&traditional, &simplified})
        EXPECT_FALSE(TestSupport::run(TextRecognizer::recognize(screen->image), kTaskTimeout).isEmpty());
    // Threads of earlier work may let theirs go meanwhile; none is added.
    EXPECT_LE(mappingsOf(noto), notoBefore);
    EXPECT_LE(mappingsOf(wenQuanYi), wenQuanYiBefore);
}

// The recogniser reads the caller's picture without a copy of its own beside the one it frames:
// a picture with transparent parts (as a capture file may hold) reads as on white.
TEST(RecognitionMemory, APictureWithTransparentPartsReadsAsOnWhite)
{
    QImage picture(640, 120, QImage::Format_RGBA8888_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.fillRect(QRect(0, 60, 640, 60), QColor(250, 250, 250));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(24);
        painter.setFont(font);
        painter.setPen(QColor(20, 20, 20));
        painter.drawText(QPoint(20, 40), QStringLiteral("Transparent above"));
        painter.drawText(QPoint(20, 100), QStringLiteral("Opaque below"));
    }
    EXPECT_EQ(TestSupport::run(TextRecognizer::recognize(picture), kTaskTimeout), QStringLiteral("Transparent above\nOpaque below"));
}
