// The project file: its record, the reader's and the writer's limits, and how a document opens,
// saves and renders files.

#include "DocumentFixtures.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotRenderer.h"

#include "Platform/Image/ImageDecoding.h"
#include "Platform/Image/PngEncoder.h"
#include "Platform/Markup/DocumentLimits.h"
#include "Platform/PropertyList/PropertyList.h"

#include "Support/HandMadePropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <zlib.h>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

// The smallest record the reader takes, with `extra` keys added or replaced.
QVariantMap record(const ShotState &state, const QVariantMap &extra = {})
{
    QVariantMap r{{"format", QStringLiteral("Kivaro")}, {"version", qint64(1)}, {"markupData", state.markup.dataRepresentation()},
                  {"links", QVariantList{}},         {"masks", QVariantList{}}};
    r.insert(extra);
    return r;
}

QVariantList links(int count)
{
    QVariantList list;
    for (int k = 0; k < count; ++k)
        list << QVariantMap{{"bubbleID", MarkupID<ShapeElement>::make().toString()},
                            {"arrowID", MarkupID<ShapeElement>::make().toString()},
                            {"anchor", QVariantList{1.0, 2.0}}};
    return list;
}

QVariantList masks(int count)
{
    QVariantList list;
    for (int k = 0; k < count; ++k)
        list << MarkupID<ShapeElement>::make().toString();
    return list;
}

// A valid PNG whose header claims 100000 × 100000 pixels, with the header's CRC to match.
QByteArray hugePng()
{
    QByteArray png = Platform::encodePng(picture(2, 2));
    const auto put = [&png](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            png[at + i] = char(v >> (24 - 8 * i));
    };
    put(16, 100000);
    put(20, 100000);
    put(29, quint32(crc32(0, reinterpret_cast<const Bytef *>(png.constData() + 12), 17)));
    return png;
}

// Whether a mapping of the file at `path` is in this process's address space.
bool isMapped(const QString &path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains(QFile::encodeName(QFileInfo(path).canonicalFilePath()));
}

void setAge(const QString &path, int seconds)
{
    const struct timespec when[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), when, AT_SYMLINK_NOFOLLOW);
}

int modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

const QString kImageMessage = QStringLiteral("无法读取图片。图片每边最多 16000 像素，总像素最多 4000 万。");

struct Files : ::testing::Test {
    QTemporaryDir dir;
    ShotDocument document;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return file.fileName();
    }
    QByteArray contentsOf(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString writeImage(const QString &name, int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        return write(name, Platform::encodePng(image));
    }
    QString messageOfOpening(const QString &path)
    {
        try {
            document.open(path);
        } catch (const ShotError &error) {
            return error.text();
        } catch (const MarkupDataError &) {
            return QStringLiteral("markup error");
        }
        return {};
    }
    QImage rendered(std::optional<int> maxDimension, bool forRecognition)
    {
        const QByteArray png = TestSupport::run(document.png(maxDimension, forRecognition));
        return Platform::decodeImage(png).image.convertToFormat(QImage::Format_ARGB32);
    }
};

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
    const ShotState minimal = ProjectArchive::decode(encodePropertyList(record(state)));
    EXPECT_EQ(minimal.markup, state.markup);
    EXPECT_TRUE(minimal.mosaics.isEmpty());
    EXPECT_FALSE(minimal.mosaicBackground.has_value());
    EXPECT_EQ(minimal.mosaicGrain, 24);

    const ShotState older = ProjectArchive::decode(state.markup.dataRepresentation());
    EXPECT_EQ(older.markup, state.markup);
    EXPECT_EQ(older.mosaicGrain, 24);

    EXPECT_THROW(ProjectArchive::decode(Platform::encodePng(picture(4, 4))), MarkupDataError);
    EXPECT_THROW(ProjectArchive::decode(QByteArray("hello")), MarkupDataError);
    // A record of the wrong shape is read as bare markup and fails as markup.
    EXPECT_THROW(ProjectArchive::decode(encodePropertyList(record(state, {{"links", QStringLiteral("none")}}))), MarkupDataError);
}

// Mended in part: the grain is range-checked, the background's pixel count is checked from its
// header and the markup inside is decoded with bounds.
TEST(ProjectArchive, RefusesOtherFormatsVersionsLimitsAndHostileContent)
{
    const ShotState state = richState();
    const ShotState full = ProjectArchive::decode(encodePropertyList(record(state, {{"links", links(1000)}, {"masks", masks(1000)}})));
    EXPECT_EQ(full.links.size(), 1000);
    EXPECT_EQ(full.masks.size(), 1000);
    for (qint64 grain : {1LL, 512LL})
        EXPECT_EQ(ProjectArchive::decode(encodePropertyList(record(state, {{"mosaicGrain", grain}}))).mosaicGrain, grain);

    const QVariantMap refused[] = {
        {{"format", QStringLiteral("kivaro")}}, {{"version", qint64(0)}},       {{"version", qint64(3)}},
        {{"version", qint64(-1)}},              {{"links", links(1001)}},       {{"masks", masks(1001)}},
        {{"mosaicGrain", qint64(0)}},           {{"mosaicGrain", qint64(-24)}}, {{"mosaicGrain", qint64(513)}},
        {{"mosaicGrain", qint64(1) << 40}},     {{"mosaicBackground", hugePng()}},
    };
    for (const QVariantMap &change : refused) {
        const QString message = refusal([&] { ProjectArchive::decode(encodePropertyList(record(state, change))); });
        EXPECT_EQ(message, QStringLiteral("工程格式不受支持，请更新应用后重试。")) << change.firstKey().toStdString();
    }

    QVariantMap markup = decodePropertyList(state.markup.dataRepresentation()).toMap();
    QVariantList elements = markup["elements"].toList();
    for (int k = 0; k < 25000; ++k)
        elements << elements.last();
    markup["elements"] = elements;
    EXPECT_THROW(ProjectArchive::decode(encodePropertyList(record(state, {{"markupData", encodePropertyList(markup)}}))), MarkupDataError);
}

QVariantList steps(qsizetype count)
{
    QVariantList list;
    for (qsizetype k = 0; k < count; ++k)
        list << QVariantMap{{"shapeID", MarkupID<ShapeElement>::make().toString()}, {"number", qint64(k)}};
    return list;
}

QVariantList mosaics(qsizetype count)
{
    QVariantList list;
    for (qsizetype k = 0; k < count; ++k)
        list << QVariantMap{{"maskID", MarkupID<ShapeElement>::make().toString()}, {"imageID", MarkupID<ImageElement>::make().toString()}};
    return list;
}

// Mended: steps and mosaics had no bound, and a record was decoded whole before any count was
// looked at, then a second time as bare markup when it had not the record's shape: 100,000
// steps took half a minute to open or to be refused. No shot holds more steps than elements,
// nor more mosaics than masks.
TEST(ProjectArchive, RefusesMoreStepsOrMosaicsThanAShotCanHold)
{
    const ShotState state = richState();
    const QString format = QStringLiteral("工程格式不受支持，请更新应用后重试。");
    EXPECT_EQ(ProjectArchive::decode(encodePropertyList(record(state, {{"mosaics", mosaics(DocumentLimits::kMaxMosaics)}}))).mosaics.size(),
              DocumentLimits::kMaxMosaics);
    EXPECT_EQ(refusal([&] { ProjectArchive::decode(encodePropertyList(record(state, {{"mosaics", mosaics(DocumentLimits::kMaxMosaics + 1)}}))); }),
              format);
    QVariantList tooMany = steps(DocumentLimits::kMaxSteps + 1);
    EXPECT_EQ(refusal([&] { ProjectArchive::decode(encodePropertyList(record(state, {{"steps", tooMany}}))); }), format);
    // Refused by their number, before an entry is looked at: a malformed one does not matter.
    tooMany.last() = QStringLiteral("not a step");
    EXPECT_EQ(refusal([&] { ProjectArchive::decode(encodePropertyList(record(state, {{"steps", tooMany}}))); }), format);
}

// Mended: the writer wrote whatever it was given, also projects its own reader refuses.
TEST(ProjectArchive, TheWriterRefusesWhatTheReaderWouldRefuse)
{
    const auto refusalOf = [](const ShotState &state) {
        const QString sync = refusal([&] { ProjectArchive::encodeNow(state); });
        EXPECT_EQ(refusal([&] { TestSupport::run(ProjectArchive::encode(state)); }), sync);
        return sync;
    };
    const ShotState state = richState();
    EXPECT_EQ(refusalOf(state), QString());

    std::vector<ShotState> refused(9, state);
    while (refused[0].links.size() <= DocumentLimits::kMaxLinks)
        refused[0].links.append(state.links.first());
    while (refused[1].masks.size() <= DocumentLimits::kMaxMasks)
        refused[1].masks.append(MarkupID<ShapeElement>::make());
    refused[2].mosaicGrain = 0;
    refused[3].mosaicGrain = 513;
    for (int k = 0; k < MarkupDataLimits().maxElements; ++k)
        refused[4].markup.subelements().append(shape(QRectF(k % 100, 0, 1, 1)));
    while (refused[5].steps.size() <= DocumentLimits::kMaxSteps)
        refused[5].steps.append(state.steps.first());
    while (refused[6].mosaics.size() <= DocumentLimits::kMaxMosaics)
        refused[6].mosaics.append(state.mosaics.first());
    // Text: one too long, and all together too much.
    ShapeElement label = shape(QRectF(0, 0, 50, 20));
    label.attributedText = AttributedText(QString(DocumentLimits::kMaxTextLength + 1, QLatin1Char('w')));
    refused[7].markup.subelements().append(label);
    label.attributedText = AttributedText(QString(DocumentLimits::kMaxTextLength, QLatin1Char('w')));
    for (qsizetype total = 0; total <= DocumentLimits::kMaxTotalTextLength; total += DocumentLimits::kMaxTextLength) {
        label.id = MarkupID<ShapeElement>::make();
        refused[8].markup.subelements().append(label);
    }
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
    refused.push_back(patched);
    // Mended: an image or a canvas that opening refuses was written.
    ShotState wide = state;
    ImageElement strip;
    strip.image = MarkupImage(picture(DocumentLimits::kMaxSide + 1, 1));
    strip.id = MarkupID<ImageElement>::make();
    wide.markup.subelements().append(strip);
    refused.push_back(wide);
    for (const QRectF &canvas : {QRectF(), QRectF(0, 0, DocumentLimits::kMaxSide + 1, 10), QRectF(0, 0, 7000, 6000)}) {
        refused.push_back(state);
        refused.back().markup.setBounds(canvas);
    }
    for (size_t k = 0; k < refused.size(); ++k)
        EXPECT_EQ(refusalOf(refused[k]), QStringLiteral("这张截图超出了工程文件的限制，无法保存。")) << k;
}

TEST_F(Files, OpensImagesWithinTheirPixelLimitsOnly)
{
    EXPECT_EQ(messageOfOpening(writeImage("wide.png", 16001, 1)), kImageMessage);
    EXPECT_EQ(messageOfOpening(writeImage("big.png", 8000, 5001)), kImageMessage);
    EXPECT_EQ(messageOfOpening(write("junk.jpg", "not an image")), kImageMessage);
    EXPECT_EQ(messageOfOpening(dir.filePath("missing.png")), kImageMessage);
    EXPECT_EQ(messageOfOpening(writeImage("limit.png", 16000, 2500)), QString());
    EXPECT_EQ(document.markup().bounds(), QRectF(0, 0, 16000, 2500));
    EXPECT_FALSE(document.fileURL().has_value());
    EXPECT_FALSE(document.hasUnsavedChanges());
}

TEST_F(Files, TellsProjectsFromImagesByExtensionAndBoundsTheirSize)
{
    const QByteArray project = ProjectArchive::encodeNow(richState());
    EXPECT_EQ(messageOfOpening(write("project.png", project)), kImageMessage);
    EXPECT_EQ(messageOfOpening(write("picture.kivaro", Platform::encodePng(picture(8, 8)))), QStringLiteral("markup error"));
    const QString upper = write("shot.KIVARO", project);
    EXPECT_EQ(messageOfOpening(upper), QString());
    EXPECT_EQ(document.fileURL(), upper);
    EXPECT_EQ(document.state().links.size(), 1);
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_FALSE(document.canvas()->undoManager()->canUndo());

    const QString large = dir.filePath("large.kivaro");
    QFile file(large);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(149'999'999)); // sparse: passes the size check, then fails to decode
    file.close();
    EXPECT_EQ(messageOfOpening(large), QStringLiteral("markup error"));
    ASSERT_TRUE(QFile::resize(large, 150'000'000));
    EXPECT_EQ(messageOfOpening(large), QStringLiteral("文件太大，请选择小于 150 MB 的图片或工程。"));
    EXPECT_EQ(document.fileURL(), upper) << "a failed open changes nothing";

    ShotState empty;
    empty.markup = Platform::Markup(QRectF(0, 0, 16001, 10));
    EXPECT_EQ(messageOfOpening(write("canvas.kivaro", encodePropertyList(record(empty)))), QStringLiteral("不支持这个工程的画布尺寸。"));
}

// Mended: a project written as an XML property list was refused as "not a binary property list".
TEST_F(Files, OpensAProjectWrittenAsAnXmlPropertyList)
{
    const ShotState state = richState();
    QVariantMap root = decodePropertyList(ProjectArchive::encodeNow(state)).toMap();
    root.insert("markupData", HandMade::xml(decodePropertyList(root.value("markupData").toByteArray())));
    const QString path = write("other-tool.kivaro", HandMade::xml(root));
    EXPECT_EQ(messageOfOpening(path), QString());
    EXPECT_EQ(document.state(), state);
}

// Mended: a FIFO blocked the open, a device was read without end.
TEST_F(Files, OpensOnlyRegularFilesWithoutWaitingOrReadingForever)
{
    for (const char *name : {"pipe.kivaro", "pipe.png"})
        ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(name)).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir.filePath("zero.kivaro")));
    EXPECT_THROW(document.open(dir.filePath("pipe.kivaro")), FileError);
    EXPECT_THROW(document.open(dir.filePath("zero.kivaro")), FileError);
    EXPECT_EQ(messageOfOpening(dir.filePath("pipe.png")), kImageMessage);
    EXPECT_EQ(messageOfOpening(QStringLiteral("/dev/zero")), kImageMessage);
    EXPECT_FALSE(document.hasImage());
}

// Mended: a project was decoded from a mapping of its file (twice when it was bare markup); a
// file cut short meanwhile ended the application with SIGBUS.
TEST_F(Files, ReadsAProjectIntoMemoryAndAFileCutShortIsADecodingError)
{
    ShotState state = richState();
    // Thousands of steps: decoding takes long enough for the file to be cut short meanwhile.
    for (int k = 0; k < 5000; ++k)
        state.steps.append(NumberedStep{MarkupID<ShapeElement>::make(), k});
    const QByteArray project = ProjectArchive::encodeNow(state);
    const QString path = write("shot.kivaro", project);
    bool mapped = true;
    document.didChange = [&] { mapped = isMapped(path); };
    document.open(path);
    EXPECT_FALSE(mapped) << "read, not mapped";
    document.didChange = nullptr;

    ASSERT_TRUE(QFile::resize(path, project.size() / 2));
    EXPECT_EQ(messageOfOpening(path), QStringLiteral("markup error"));
    ASSERT_TRUE(QFile::resize(path, 0));
    EXPECT_EQ(messageOfOpening(path), QStringLiteral("markup error"));

    for (const int delay : {0, 1, 2, 5, 10, 20, 40}) {
        write("shot.kivaro", project);
        std::thread cutter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            ::truncate(QFile::encodeName(path).constData(), 64);
        });
        const QString message = messageOfOpening(path);
        cutter.join();
        EXPECT_TRUE(message.isEmpty() || message == QStringLiteral("markup error")) << message.toStdString();
    }
}

TEST_F(Files, SavingSetsTheFileAndAFailedSaveChangesNothing)
{
    document.open(write("rich.kivaro", ProjectArchive::encodeNow(richState())));
    document.reconcile();
    const QString path = dir.filePath("saved.kivaro");
    int changes = 0;
    document.didChange = [&] { ++changes; };
    TestSupport::run(document.save(path));
    EXPECT_EQ(document.fileURL(), path);
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_EQ(changes, 1);
    EXPECT_THROW(TestSupport::run(document.save(dir.filePath("no/such/folder/x.kivaro"))), FileError);
    EXPECT_EQ(document.fileURL(), path);
}

// Mended: an interrupted save left "<name>.XXXXXX" beside the project for ever, a name a file
// of the user's can carry, so nothing could tell it was ours.
TEST_F(Files, SavingRemovesOnlyItsOwnStaleTemporariesOfTheSameFile)
{
    document.load(picture(40, 30), false);
    const QStringList kept{".x.kivaro.kivaro-save-Fresh1", "x.kivaro.backup", "x.kivaro.Ab12Cd", ".y.kivaro.kivaro-save-Ab12Cd",
                           ".x.kivaro.kivaro-save-Ab12C", ".x.kivaro.kivaro-save-Link12"};
    for (const QString &name : kept.mid(1, 4))
        setAge(write(name, "the user's"), 3600);
    write(kept[0], "a write under way");
    ASSERT_TRUE(QFile::link(dir.filePath("x.kivaro.backup"), dir.filePath(kept[5])));
    setAge(dir.filePath(kept[5]), 3600);
    setAge(write(".x.kivaro.kivaro-save-Ab12Cd", "interrupted"), 120);

    TestSupport::run(document.save(dir.filePath("x.kivaro")));
    QStringList expected = kept;
    expected << "x.kivaro";
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name), expected);
    EXPECT_EQ(QFile(dir.filePath("x.kivaro.backup")).size(), 10);
}

// Saving is no plain private write: the user's umask and a replaced file's mode hold, and a
// link at the path is followed, as any editor's save treats them.
TEST_F(Files, SavingKeepsTheUsualModesFollowsALinkAndReportsAFailedWrite)
{
    document.load(picture(40, 30), false);
    const mode_t saved = ::umask(027);
    const QString fresh = dir.filePath("fresh.kivaro");
    TestSupport::run(document.save(fresh));
    ::umask(saved);
    EXPECT_EQ(modeOf(fresh), 0640);
    ASSERT_EQ(::chmod(QFile::encodeName(fresh).constData(), 0604), 0);
    TestSupport::run(document.save(fresh));
    EXPECT_EQ(modeOf(fresh), 0604) << "a replaced file keeps its mode";

    const QString link = dir.filePath("link.kivaro");
    ASSERT_TRUE(QFile::link(fresh, link));
    QFile::resize(fresh, 0);
    TestSupport::run(document.save(link));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ProjectArchive::decode(contentsOf(fresh)).markup.bounds(), QRectF(0, 0, 40, 30));

    // A name close to the file system's longest: the temporary's name is cut to fit.
    const QString longName = dir.filePath(QString(240, QChar(u'长')).left(80) + ".kivaro");
    TestSupport::run(document.save(longName));
    EXPECT_TRUE(QFileInfo(longName).isFile());

    const QString folder = dir.filePath("folder.kivaro");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_THROW(TestSupport::run(document.save(folder)), FileError);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before) << "no temporary stays";
    EXPECT_EQ(document.fileURL(), longName) << "a failed save changes nothing";
}

// Mended: a save or archive started with a queued start read its document on its first run,
// freed or not.
TEST_F(Files, AQueuedSaveOrArchiveWhoseDocumentIsGoneEndsCancelled)
{
    auto doomed = std::make_unique<ShotDocument>();
    doomed->load(picture(40, 30), false);
    const QString path = dir.filePath("gone.kivaro");
    const auto saving = Platform::start(doomed->save(path));
    const auto archiving = Platform::start(doomed->archiveData());
    doomed.reset();
    ASSERT_TRUE(TestSupport::waitFor(saving) && TestSupport::waitFor(archiving));
    EXPECT_THROW(std::rethrow_exception(saving.error()), Platform::CancellationError);
    EXPECT_THROW(std::rethrow_exception(archiving.error()), Platform::CancellationError);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(Files, SavingGivesUpWhenTheStateKeepsChanging)
{
    document.load(picture(200, 100), false);
    QTimer fidget;
    qint64 number = 10;
    QObject::connect(&fidget, &QTimer::timeout, [&] {
        ShotState s = document.state();
        s.steps.append(NumberedStep{MarkupID<ShapeElement>::make(), ++number});
        document.applyGesture(s);
    });
    fidget.start(0);
    EXPECT_EQ(refusal([&] { TestSupport::run(document.save(dir.filePath("busy.kivaro"))); }),
              QStringLiteral("标注仍在变化，请结束编辑后重新保存。"));
    EXPECT_FALSE(QFile::exists(dir.filePath("busy.kivaro")));
}

TEST_F(Files, RendersAtAScaleNeverEnlargedWithUnlinkedMasksBlack)
{
    document.load(picture(1600, 900), false);
    EXPECT_EQ(rendered(320, false).size(), QSize(320, 180));
    document.load(picture(200, 100), false);
    EXPECT_EQ(rendered(320, false).size(), QSize(200, 100));

    ShotState unlinked = richState();
    unlinked.mosaics.clear();
    document.open(write("unlinked.kivaro", ProjectArchive::encodeNow(unlinked)));
    const QPoint inside = document.markup().subelements().shape(unlinked.masks.first())->frame.center().toPoint();
    EXPECT_EQ(rendered(std::nullopt, false).pixel(inside), qRgb(0, 0, 0));

    ShotDocument empty;
    EXPECT_EQ(refusal([&] { TestSupport::run(empty.png(std::nullopt, false)); }), QStringLiteral("图片太大，导出最多支持 4000 万像素。"));

    // A strip keeps at least a pixel a side at any scale.
    EXPECT_EQ(ShotRenderer::pixelSize(QSizeF(16000, 1), 320), QSize(320, 1));
    EXPECT_EQ(ShotRenderer::pixelSize(QSizeF(2, 700), 320), QSize(1, 320));
    EXPECT_EQ(ShotRenderer::pixelSize(QSizeF(0, 700), 320), QSize(0, 320)) << "a side that is not there stays so";
    document.load(picture(16000, 1), false);
    const QImage strip = rendered(320, false);
    ASSERT_EQ(strip.size(), QSize(320, 1));
    EXPECT_EQ(qAlpha(strip.pixel(160, 0)), 255);
}

// A crafted file names the picture itself as its mask's patch. Such a link is broken: the file
// opens, the repair and a new grain leave the picture alone, and the mask stays a mask.
TEST_F(Files, AMosaicLinkNamingThePictureAsItsPatchNeverTakesThePicture)
{
    const QString crafted = QStringLiteral(KIVARO_SOURCE_DIR "/fuzz/regressions/Project/mosaic-patch-is-the-picture.kivaro");
    document.open(crafted);
    const ImageElement picture = *document.markup().subelements().at(0).image();
    ASSERT_EQ(picture.image.size(), QSize(64, 48));
    const MarkupID<ShapeElement> mask = document.masks().first();
    const auto expectPictureKept = [&] {
        const ImageElement *kept = document.markup().subelements().image(picture.id);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->frame, picture.frame);
        EXPECT_EQ(kept->image.size(), QSize(64, 48));
        EXPECT_TRUE(document.markup().subelements().shape(mask)) << "the mask stays";
    };
    document.reconcile();
    expectPictureKept();
    EXPECT_TRUE(document.state().mosaics.isEmpty()) << "the broken link is dropped";
    // The mask hides what lies under it, black without a patch of its own.
    EXPECT_EQ(rendered(std::nullopt, false).pixel(15, 15), qRgb(0, 0, 0));

    // A new grain cuts every patch again: the picture is no patch.
    document.open(crafted);
    TestSupport::run(document.setMosaicGrain(40));
    expectPictureKept();

    // The same link made in memory, beside a link of its own and one naming that link's patch.
    ShotState state = richState();
    const MosaicLink own = state.mosaics.first();
    const auto base = state.markup.subelements().at(0).image()->id;
    ShapeElement second = shape(QRectF(20, 60, 30, 30));
    state.markup.subelements().append(second);
    state.masks.append(second.id);
    state.mosaics = {MosaicLink{second.id, base}, own, MosaicLink{second.id, own.imageID}};
    EXPECT_EQ(MosaicRenderer::ownLinks(state), QList<MosaicLink>{own});
    const ShotState repaired = MosaicRenderer::reconcile(state);
    EXPECT_EQ(repaired.mosaics, QList<MosaicLink>{own});
    EXPECT_EQ(repaired.markup.subelements().image(base)->image.size(), QSize(200, 100));
}
