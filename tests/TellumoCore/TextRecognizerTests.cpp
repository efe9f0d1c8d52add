// Text recognition through its public operations, on screenshots rendered for the test with
// known text (TextScreens), with the installed language data. Recognised text is compared with a
// tolerance: the engine may misread a character here and there, but not a line.

#include "TellumoCore/TextRecognizer.h"

#include "TellumoCore/TellumoError.h"
#include "TellumoCore/internal/Characters.h"
#include "TellumoCore/internal/OcrEngines.h"
#include "TextScreens/CharacterErrors.h"
#include "TextScreens/TextScreens.h"

#include "Platform/Async/Awaitables.h"
#include "Support/TaskTesting.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Tellumo;
using namespace TextScreens;

namespace {

constexpr int kTaskTimeout = 60000;

// Whole-text error rate allowed for one screenshot, and for one line against the recognised
// line closest to it.
constexpr double kMaxScreenErrors = 0.10;
constexpr double kMaxLineErrors = 0.25;

void expectReads(const Screen &screen, const QString &recognized)
{
    const CharacterErrors errors = characterErrors(screen.text(), recognized);
    EXPECT_LE(errors.rate(), kMaxScreenErrors) << screen.name().toStdString() << "\n--- expected\n"
                                               << screen.text().toStdString() << "\n--- recognised\n"
                                               << recognized.toStdString();
    const QStringList found = recognized.split(QLatin1Char('\n'));
    for (const Line &line : screen.lines) {
        double best = 1;
        for (const QString &candidate : found)
            best = std::min(best, characterErrors(line.text, candidate).rate());
        EXPECT_LE(best, kMaxLineErrors) << screen.name().toStdString() << ": no line reads like \"" << line.text.toStdString() << '"';
    }
}

QString recognizeOnWorker(const QImage &image)
{
    return TestSupport::run(TextRecognizer::recognize(image), kTaskTimeout);
}

TellumoError errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const TellumoError &error) {
        return error;
    }
    ADD_FAILURE() << "no error";
    return TellumoError({}, 0, {});
}

QImage plain(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

} // namespace

// One region of each kind of screen, in every language, both themes and sizes from 12 to 24.
TEST(TextRecognizer, ReadsRenderedScreenshotsLineByLineInReadingOrder)
{
    const Spec specs[] = {
        {Scene::menu, Language::simplified, Theme::light, 14, Framing::region},
        {Scene::dialog, Language::english, Theme::dark, 12, Framing::region},
        {Scene::settings, Language::traditional, Theme::light, 16, Framing::region},
        {Scene::chat, Language::simplified, Theme::dark, 18, Framing::region},
        {Scene::chat, Language::traditional, Theme::light, 20, Framing::region},
        {Scene::code, Language::mixed, Theme::dark, 16, Framing::region},
        {Scene::article, Language::mixed, Theme::light, 24, Framing::region},
        {Scene::dialog, Language::traditional, Theme::dark, 14, Framing::region},
    };
    for (const Spec &spec : specs) {
        const Screen screen = render(spec);
        expectReads(screen, TextRecognizer::recognizeNow(screen.image));
    }
}

// The Simplified or Traditional choice holds in each Chinese face, whatever script the face is
// made for: a Traditional screen in a face for Simplified, and the other way round.
TEST(TextRecognizer, EachScriptReadsAsItselfInEveryChineseFace)
{
    const Spec specs[] = {
        {Scene::dialog, Language::traditional, Theme::dark, 14, Framing::region, 0, Face::notoSansTC},
        {Scene::dialog, Language::traditional, Theme::light, 16, Framing::region, 0, Face::notoSansSC},
        {Scene::settings, Language::traditional, Theme::dark, 14, Framing::region, 0, Face::wenQuanYi},
        {Scene::dialog, Language::simplified, Theme::light, 14, Framing::region, 0, Face::notoSansTC},
        {Scene::chat, Language::simplified, Theme::dark, 16, Framing::region, 0, Face::notoSansSC},
        {Scene::chat, Language::traditional, Theme::light, 18, Framing::region, 0, Face::notoSansTC},
    };
    for (const Spec &spec : specs) {
        const Screen screen = render(spec);
        expectReads(screen, TextRecognizer::recognizeNow(screen.image));
    }
}

// A dash between Chinese characters is a long stroke like the character 一; the ink tells them
// apart, in the Latin face's dash and in the Chinese faces' own, single and doubled.
TEST(TextRecognizer, ADashBetweenChineseCharactersIsADashAndTheCharacterOneStaysItself)
{
    const char *const lines[] = {"统一的界面——简洁明了", "一个人的旅行—从北京到上海", "我们一起去看看吧", "报告.txt — 文本编辑器"};
    for (const char *face : {"WenQuanYi Micro Hei", "Noto Sans CJK SC"}) {
        for (const QStringList &families : {QStringList{QStringLiteral("DejaVu Sans"), QLatin1String(face)}, QStringList{QLatin1String(face)}}) {
            for (int pixels : {14, 20}) {
                QImage image(560, 40 + 4 * 2 * pixels, QImage::Format_RGB32);
                image.fill(Qt::white);
                {
                    QPainter painter(&image);
                    QFont font;
                    font.setFamilies(families);
                    font.setPixelSize(pixels);
                    painter.setFont(font);
                    painter.setPen(QColor(0x1D, 0x1D, 0x1F));
                    for (int i = 0; i < 4; ++i)
                        painter.drawText(QPoint(24, 20 + (2 * i + 1) * pixels), QString::fromUtf8(lines[i]));
                }
                const QString recognized = TextRecognizer::recognizeNow(image);
                const QStringList read = recognized.split(QLatin1Char('\n'));
                ASSERT_EQ(read.size(), 4) << face << " " << families.size() << " " << pixels << "\n" << recognized.toStdString();
                EXPECT_TRUE(read[3].contains(QStringLiteral(".txt — "))) << "a dash beside Latin text keeps its spaces: " << read[3].toStdString();
                for (int i = 0; i < 4; ++i) {
                    const QString meant = QString::fromUtf8(lines[i]);
                    EXPECT_EQ(read[i].count(QChar(0x2014)), meant.count(QChar(0x2014))) << face << " " << pixels << ": " << read[i].toStdString();
                    EXPECT_EQ(read[i].count(QChar(0x4E00)), meant.count(QChar(0x4E00))) << face << " " << pixels << ": " << read[i].toStdString();
                }
            }
        }
    }
}

// The outline of a text field holds its placeholder: the outline is no text and the placeholder
// is read; bold Chinese characters that touch are no outline.
TEST(TextRecognizer, TheTextInsideAFieldsOutlineIsReadWithoutTheOutline)
{
    for (const QColor &background : {QColor(Qt::white), QColor(0x1E, 0x1E, 0x1E)}) {
        const bool dark = background != Qt::white;
        QImage image(900, 150, QImage::Format_RGB32);
        image.fill(background);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(dark ? QColor(0x5A, 0x5A, 0x5E) : QColor(0xC7, 0xC7, 0xCC), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(20.5, 20.5, 700, 36), 18, 18);
            QFont font;
            font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
            font.setPixelSize(14);
            painter.setFont(font);
            painter.setPen(dark ? QColor(0x8E, 0x8E, 0x93) : QColor(0x8E, 0x8E, 0x93));
            painter.drawText(QPoint(40, 43), QStringLiteral("Type a message..."));
            font.setPixelSize(18);
            font.setBold(true);
            painter.setFont(font);
            painter.setPen(dark ? Qt::white : Qt::black);
            painter.drawText(QPoint(20, 110), QStringLiteral("产品设计组"));
        }
        EXPECT_EQ(TextRecognizer::recognizeNow(image), QStringLiteral("Type a message...\n产品设计组")) << (dark ? "dark" : "light");
    }
}

// A short Chinese label beside numbers, in small grey type: the English model makes capitals of
// the Chinese characters ("FH: 1,024") with more confidence than the Chinese model reads them,
// but the characters reach below the numbers' baseline, as no capital does; and a bold name
// whose characters the English model makes too many letters of for its width.
TEST(TextRecognizer, AShortChineseLabelBesideNumbersStaysChinese)
{
    for (const Theme theme : {Theme::light, Theme::dark}) {
        QImage image(420, 120, QImage::Format_RGB32);
        image.fill(theme == Theme::light ? QColor(0xF5, 0xF5, 0xF7) : QColor(0x2C, 0x2C, 0x2E));
        {
            QPainter painter(&image);
            QFont font;
            font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
            font.setPixelSize(12);
            painter.setFont(font);
            painter.setPen(QColor(0x8E, 0x8E, 0x93));
            painter.drawText(QPoint(20, 30), QStringLiteral("字数：1,024"));
            painter.drawText(QPoint(20, 64), QStringLiteral("昨天 21:03"));
            font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK TC")});
            font.setBold(true);
            painter.setFont(font);
            painter.setPen(theme == Theme::light ? Qt::black : Qt::white);
            painter.drawText(QPoint(20, 98), QStringLiteral("陳雅婷"));
        }
        const QString recognized = TextRecognizer::recognizeNow(image);
        EXPECT_TRUE(recognized.startsWith(QStringLiteral("字数"))) << recognized.toStdString();
        EXPECT_TRUE(recognized.contains(QStringLiteral("\n昨天 21:03"))) << recognized.toStdString();
        EXPECT_GE(detail::ideographCount(recognized.section(QLatin1Char('\n'), 2)), 3) << "a bold name in small type: " << recognized.toStdString();
    }
}

// The capital I of a sans-serif face is a plain stroke the engine takes for a bar; a bar drawn
// between words stays one.
TEST(TextRecognizer, TheCapitalIIsReadAsAnIAndADrawnBarStaysABar)
{
    for (const char *face : {"DejaVu Sans", "Liberation Sans"}) {
        QImage image(700, 110, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            QFont font;
            font.setFamilies({QLatin1String(face)});
            font.setPixelSize(15);
            painter.setFont(font);
            painter.setPen(QColor(0x1D, 0x1D, 0x1F));
            painter.drawText(QPoint(20, 40), QStringLiteral("Sounds good, I will be there"));
            painter.drawText(QPoint(20, 85), QStringLiteral("Home | Reports | Settings"));
        }
        EXPECT_EQ(TextRecognizer::recognizeNow(image), QStringLiteral("Sounds good, I will be there\nHome | Reports | Settings")) << face;
    }
}

TEST(TextRecognizer, ReadsAWholeScreenWithItsSideBarAndTableInOrder)
{
    const Screen screen = render({Scene::settings, Language::simplified, Theme::dark, 16, Framing::fullScreen});
    expectReads(screen, recognizeOnWorker(screen.image));
}

TEST(TextRecognizer, TextUnderAPrivacyMaskIsNotRead)
{
    Spec spec{Scene::dialog, Language::simplified, Theme::light, 16, Framing::region, 0};
    const Screen open = render(spec);
    spec.masks = 2;
    const Screen masked = render(spec);
    ASSERT_EQ(masked.lines.size() + 2, open.lines.size());
    const QString recognized = TextRecognizer::recognizeNow(masked.image);
    expectReads(masked, recognized);
    for (const Line &line : open.lines) {
        const bool visible = std::any_of(masked.lines.begin(), masked.lines.end(), [&](const Line &l) { return l.text == line.text; });
        if (visible)
            continue;
        EXPECT_FALSE(normalizedForComparison(recognized).contains(normalizedForComparison(line.text))) << line.text.toStdString();
    }
}

TEST(TextRecognizer, PicturesWithoutTextGiveTheEmptyString)
{
    QImage gradient(640, 360, QImage::Format_RGB32);
    {
        QPainter painter(&gradient);
        QLinearGradient fill(0, 0, 640, 360);
        fill.setColorAt(0, QColor(30, 60, 120));
        fill.setColorAt(1, QColor(200, 220, 250));
        painter.fillRect(gradient.rect(), fill);
        painter.fillRect(QRect(100, 100, 200, 30), Qt::black); // a privacy mask over nothing
        painter.setBrush(QColor(240, 80, 80));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRect(400, 80, 60, 60)); // an avatar
    }
    for (const QImage &image : {plain({320, 90}, Qt::white), plain({320, 90}, Qt::black), plain({1, 1}, Qt::gray), gradient})
        EXPECT_EQ(TextRecognizer::recognizeNow(image), QString()) << image.width() << "x" << image.height();
}

TEST(TextRecognizer, RefusesEmptyAndOversizedImagesBeforeReadingThem)
{
    for (const QImage &image : {QImage(), QImage(6400, 6400, QImage::Format_Mono)}) {
        const TellumoError error = errorOf([&] { TextRecognizer::recognizeNow(image); });
        EXPECT_EQ(error.domain(), QString::fromLatin1(TextRecognizer::errorDomain));
        EXPECT_EQ(error.code(), image.isNull() ? TextRecognizer::imageRefused : TextRecognizer::imageTooLarge);
        EXPECT_FALSE(error.description().isEmpty());
    }
}

TEST(TextRecognizer, AnImageLargerThanASixKScreenIsScaledDownAndStillRead)
{
    QImage large(9000, 3000, QImage::Format_RGB32);
    large.fill(Qt::white);
    {
        QPainter painter(&large);
        QFont font;
        font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
        font.setPixelSize(96);
        painter.setFont(font);
        painter.drawText(QPoint(200, 1400), QStringLiteral("Kivaro 截图识字 2024"));
    }
    const QString recognized = TextRecognizer::recognizeNow(large);
    EXPECT_LE(characterErrors(QStringLiteral("Kivaro 截图识字 2024"), recognized).rate(), kMaxScreenErrors) << recognized.toStdString();
}

// A 5K screen of small text is read at full resolution: scaled to a 4K screen's pixels, its
// 12-pixel text would be under 8 pixels tall.
TEST(TextRecognizer, SmallTextOnAFiveKScreenIsReadAtFullResolution)
{
    const Screen screen = render({Scene::dialog, Language::simplified, Theme::light, 12, Framing::region, 0, Face::notoSansSC});
    QImage fiveK(5120, 2880, QImage::Format_RGB32);
    fiveK.fill(screen.image.pixel(0, 0));
    {
        QPainter painter(&fiveK);
        painter.drawImage(2400, 1300, screen.image);
    }
    expectReads(screen, TextRecognizer::recognizeNow(fiveK));
}

TEST(TextRecognizer, ReadsAnImageFileAndPassesOnTheDecodingError)
{
    QTemporaryDir folder;
    const Screen screen = render({Scene::menu, Language::english, Theme::dark, 16, Framing::region});
    const QString png = folder.filePath(QStringLiteral("menu.png"));
    ASSERT_TRUE(screen.image.save(png));
    expectReads(screen, TestSupport::run(TextRecognizer::recognizeFile(png), kTaskTimeout));

    const QString text = folder.filePath(QStringLiteral("notes.png"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not an image");
    file.close();
    const TellumoError error = errorOf([&] { TestSupport::run(TextRecognizer::recognizeFile(text), kTaskTimeout); });
    EXPECT_EQ(error.domain(), QStringLiteral("Tellumo.Capture"));
    EXPECT_EQ(error.code(), 2);
}

// The task resumes on the main thread; cancelling it ends the wait at once, and the workers are
// free for the next recognition.
TEST(TextRecognizer, ACancelledRecognitionEndsWithCancellationAndTheNextOneRuns)
{
    const Screen screen = render({Scene::article, Language::traditional, Theme::dark, 14, Framing::fullScreen});
    auto handle = Platform::start(TextRecognizer::recognize(screen.image));
    (void)TestSupport::waitUntil([] { return false; }, 100); // the worker starts reading
    handle.cancel();
    ASSERT_TRUE(TestSupport::waitFor(handle, kTaskTimeout));
    EXPECT_TRUE(handle.endedByCancellation());

    const Screen next = render({Scene::dialog, Language::english, Theme::light, 16, Framing::region});
    expectReads(next, recognizeOnWorker(next.image));
}

TEST(TextRecognizer, PrewarmReadsItsSampleOnce)
{
    EXPECT_TRUE(TestSupport::run(TextRecognizer::prewarm(), kTaskTimeout));
}

// A resident application does not keep the engines' memory while nobody recognises text: they
// end after the idle period, a few at most in between, and the next recognition starts them
// again.
TEST(TextRecognizer, EnginesEndAfterAnIdlePeriodAndStartAgainForTheNextRecognition)
{
    using namespace Tellumo::detail;
    OcrEngines::setIdlePeriod(std::chrono::milliseconds(300));
    const Screen traditional = render({Scene::chat, Language::traditional, Theme::dark, 16, Framing::region, 0, Face::notoSansTC});
    const Screen english = render({Scene::menu, Language::english, Theme::light, 14, Framing::region});
    for (int round = 0; round < 2; ++round) {
        expectReads(traditional, recognizeOnWorker(traditional.image));
        expectReads(english, recognizeOnWorker(english.image));
        EXPECT_GT(OcrEngines::startedEngines(), 0);
        // Two English engines and the Chinese ones up to their cap, whatever the screens.
        EXPECT_LE(OcrEngines::startedEngines(), OcrEngines::kChineseEngines + OcrEngines::kDefaultEngines);
        EXPECT_TRUE(TestSupport::waitUntil([] { return OcrEngines::startedEngines() == 0; }, 10000)) << OcrEngines::startedEngines();
    }
    OcrEngines::setIdlePeriod(OcrEngines::kDefaultIdlePeriod);
}

// Once warm, reading screens of both Chinese scripts one after the other starts no engine: a
// script that has an engine waits for it rather than ending one of the other script to start
// its own (and the other script, next, ending it back). The results are those of a cold start.
TEST(TextRecognizer, ScreensOfBothScriptsReadWithTheWarmEnginesWithoutStartingOthers)
{
    using namespace Tellumo::detail;
    const Screen traditional = render({Scene::settings, Language::traditional, Theme::light, 16, Framing::region});
    const Screen simplified = render({Scene::menu, Language::simplified, Theme::light, 14, Framing::region});
    const Screen english = render({Scene::dialog, Language::english, Theme::dark, 12, Framing::region});
    ASSERT_TRUE(TestSupport::run(TextRecognizer::prewarm(), kTaskTimeout));
    const int started = OcrEngines::engineStarts();
    for (int round = 0; round < 2; ++round) {
        for (const Screen *screen : {&traditional, &simplified, &english})
            expectReads(*screen, recognizeOnWorker(screen->image));
    }
    EXPECT_EQ(OcrEngines::engineStarts(), started);
}

// A read that may not wait for an engine: `ifIdle` reads only with an idle engine and never
// starts one (reading ahead must not cost starts or memory), `ifFree` starts one when there is
// room; both read exactly what a read that waits reads.
TEST(TextRecognizer, AReadThatMayNotWaitUsesOnlyTheEnginesItIsAllowed)
{
    using namespace Tellumo::detail;
    QImage line(360, 60, QImage::Format_Grayscale8);
    line.fill(255);
    {
        QPainter painter(&line);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(30);
        painter.setFont(font);
        painter.drawText(QPoint(12, 42), QStringLiteral("Reading ahead"));
    }
    OcrEngines::setIdlePeriod(std::chrono::milliseconds(200));
    ASSERT_TRUE(TestSupport::waitUntil([] { return OcrEngines::startedEngines() == 0; }, 10000));
    OcrEngines::setIdlePeriod(OcrEngines::kDefaultIdlePeriod);
    const int starts = OcrEngines::engineStarts();
    const OcrReading none = OcrEngines::read(OcrModel::english, line, {PageLayout::singleLine, false, false, nullptr, EngineUse::ifIdle});
    EXPECT_TRUE(none.busy);
    EXPECT_TRUE(none.lines.isEmpty());
    EXPECT_EQ(OcrEngines::engineStarts(), starts);
    EXPECT_EQ(OcrEngines::startedEngines(), 0);

    const OcrReading started = OcrEngines::read(OcrModel::english, line, {PageLayout::singleLine, false, false, nullptr, EngineUse::ifFree});
    EXPECT_FALSE(started.busy);
    EXPECT_EQ(OcrEngines::engineStarts(), starts + 1);
    const OcrReading idle = OcrEngines::read(OcrModel::english, line, {PageLayout::singleLine, false, false, nullptr, EngineUse::ifIdle});
    const OcrReading waited = OcrEngines::read(OcrModel::english, line, {});
    EXPECT_FALSE(idle.busy);
    EXPECT_EQ(started.lines, QStringList{QStringLiteral("Reading ahead")});
    EXPECT_EQ(idle.lines, started.lines);
    EXPECT_EQ(waited.lines, started.lines);
    EXPECT_EQ(OcrEngines::engineStarts(), starts + 1);
}

// The ink analysis of a picture larger than a 2560 x 1600 screen would add its maps to the
// engines' memory: the idle engines end before it, and the reading starts them again. Smaller
// pictures are read with the engines as they are.
TEST(TextRecognizer, ALargePictureIsAnalysedWithTheEnginesEndedAndReadWithThemStartedAgain)
{
    using namespace Tellumo::detail;
    const Screen dialog = render({Scene::dialog, Language::simplified, Theme::light, 16, Framing::region});
    Screen large{dialog.spec, QImage(2600, 1700, QImage::Format_RGB32), dialog.lines};
    large.image.fill(dialog.image.pixel(0, 0));
    {
        QPainter painter(&large.image);
        painter.drawImage(0, 0, dialog.image);
    }
    ASSERT_TRUE(TestSupport::run(TextRecognizer::prewarm(), kTaskTimeout));
    const int started = OcrEngines::engineStarts();
    expectReads(dialog, recognizeOnWorker(dialog.image));
    EXPECT_EQ(OcrEngines::engineStarts(), started);
    expectReads(large, recognizeOnWorker(large.image));
    EXPECT_GT(OcrEngines::engineStarts(), started);
    EXPECT_GT(OcrEngines::startedEngines(), 0);
    EXPECT_LE(OcrEngines::startedEngines(), OcrEngines::kChineseEnginesForLargePictures + OcrEngines::kDefaultEngines);
}

// Full HD screens read with two engines of each script; while a large picture is read, its
// analysis takes their room: the idle engines end, and no more than two of each script start
// again until it is done.
TEST(TextRecognizer, TheChineseEnginesMakeRoomWhileALargePictureIsRead)
{
    using namespace Tellumo::detail;
    OcrEngines::endIdleEngines();
    ASSERT_EQ(OcrEngines::startedEngines(), 0);
    ASSERT_TRUE(OcrEngines::warm(OcrModel::simplified));
    ASSERT_TRUE(OcrEngines::warm(OcrModel::traditional));
    EXPECT_EQ(OcrEngines::startedEngines(), OcrEngines::kChineseEngines);
    {
        const OcrEngines::LargePictureScope large;
        EXPECT_EQ(OcrEngines::startedEngines(), 0);
        ASSERT_TRUE(OcrEngines::warm(OcrModel::simplified));
        ASSERT_TRUE(OcrEngines::warm(OcrModel::traditional));
        EXPECT_EQ(OcrEngines::startedEngines(), OcrEngines::kChineseEnginesForLargePictures);
    }
    ASSERT_TRUE(OcrEngines::warm(OcrModel::simplified));
    EXPECT_EQ(OcrEngines::startedEngines(), OcrEngines::kChineseEngines);
}

// The data folder is looked up once a process, so this runs in a fresh one.
TEST(TextRecognizerDeathTest, WithoutLanguageDataTheEngineIsUnavailable)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QTemporaryDir empty;
    EXPECT_EXIT(
        {
            qputenv("TESSDATA_PREFIX", QFile::encodeName(empty.path()));
            int code = 4;
            try {
                TextRecognizer::recognizeNow(plain({200, 60}, Qt::white));
            } catch (const TellumoError &error) {
                code = error.code() == TextRecognizer::engineUnavailable && error.domain() == QLatin1String(TextRecognizer::errorDomain) ? 0 : 3;
            }
            // exit() skips the destructor of the child's own folder.
            empty.remove();
            std::exit(code);
        },
        ::testing::ExitedWithCode(0), "");
}
