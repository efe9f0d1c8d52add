#include "DocumentFixtures.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"

#include "KivaroCore/ShotError.h"
#include "Platform/Image/ImageDecoding.h"
#include "Platform/Image/PngEncoder.h"
#include "Support/TaskTesting.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

struct Files : ::testing::Test {
    QTemporaryDir dir;
    ShotDocument document;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
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
        } catch (const FileError &) {
            return QStringLiteral("file error");
        }
        return {};
    }
    QImage rendered(std::optional<int> maxDimension, bool forRecognition)
    {
        const QByteArray png = TestSupport::run(document.png(maxDimension, forRecognition));
        return Platform::decodeImage(png).image.convertToFormat(QImage::Format_ARGB32);
    }
    // Builds richState() into the document as one edit.
    void edit()
    {
        document.load(picture(200, 100), false);
        ShotState rich = richState();
        rich.markup.subelements().removeElement(rich.markup.subelements().at(0).elementID());
        ShotState next = document.state();
        for (const MarkupElement &e : rich.markup.subelements())
            next.markup.subelements().append(e);
        next.links = rich.links;
        next.masks = rich.masks;
        next.mosaics = rich.mosaics;
        next.steps = rich.steps;
        document.replace(next, document.state(), QStringLiteral("x"));
    }
};

const QString kImageMessage = QStringLiteral("无法读取图片。图片每边最多 16000 像素，总像素最多 4000 万。");

} // namespace

TEST_F(Files, OpensImagesWithinTheirPixelLimitsOnly)
{
    EXPECT_EQ(messageOfOpening(writeImage(QStringLiteral("wide.png"), 16001, 1)), kImageMessage);
    EXPECT_EQ(messageOfOpening(writeImage(QStringLiteral("big.png"), 8000, 5001)), kImageMessage);
    EXPECT_EQ(messageOfOpening(write(QStringLiteral("junk.jpg"), "not an image")), kImageMessage);
    EXPECT_EQ(messageOfOpening(dir.filePath(QStringLiteral("missing.png"))), kImageMessage);
    EXPECT_EQ(messageOfOpening(writeImage(QStringLiteral("limit.png"), 16000, 2500)), QString());
    EXPECT_EQ(document.markup().bounds(), QRectF(0, 0, 16000, 2500));
    EXPECT_FALSE(document.fileURL().has_value());
    EXPECT_FALSE(document.hasUnsavedChanges());
}

TEST_F(Files, TellsProjectsFromImagesByExtensionAndBoundsTheirSize)
{
    edit();
    const QByteArray project = TestSupport::run(document.archiveData());
    EXPECT_EQ(messageOfOpening(write(QStringLiteral("project.png"), project)), kImageMessage);
    EXPECT_EQ(messageOfOpening(write(QStringLiteral("picture.kivaro"), Platform::encodePng(picture(8, 8)))), QStringLiteral("markup error"));
    const QString upper = write(QStringLiteral("shot.KIVARO"), project);
    EXPECT_EQ(messageOfOpening(upper), QString());
    EXPECT_EQ(document.fileURL(), upper);
    EXPECT_EQ(document.state().links.size(), 1);
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_FALSE(document.canvas()->undoManager()->canUndo());

    const QString large = dir.filePath(QStringLiteral("large.kivaro"));
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
    EXPECT_EQ(messageOfOpening(write(QStringLiteral("canvas.kivaro"), ProjectArchive::encodeNow(empty))),
              QStringLiteral("不支持这个工程的画布尺寸。"));
}

TEST_F(Files, SavesAtomicallyAndReopensTheSameState)
{
    edit();
    document.reconcile();
    const QString path = dir.filePath(QStringLiteral("saved.kivaro"));
    int changes = 0;
    document.didChange = [&] { ++changes; };
    TestSupport::run(document.save(path));
    EXPECT_EQ(document.fileURL(), path);
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_EQ(changes, 1);
    ShotDocument reopened;
    reopened.open(path);
    EXPECT_EQ(reopened.state(), document.state());

    EXPECT_THROW(TestSupport::run(document.save(dir.filePath(QStringLiteral("no/such/folder/x.kivaro")))), FileError);
}

TEST_F(Files, SavingGivesUpWhenTheStateKeepsChanging)
{
    edit();
    QTimer fidget;
    qint64 number = 10;
    QObject::connect(&fidget, &QTimer::timeout, [&] {
        ShotState s = document.state();
        s.steps.append(NumberedStep{MarkupID<ShapeElement>::make(), ++number});
        document.applyGesture(s);
    });
    fidget.start(0);
    try {
        TestSupport::run(document.save(dir.filePath(QStringLiteral("busy.kivaro"))));
        ADD_FAILURE() << "saved a changing document";
    } catch (const ShotError &error) {
        EXPECT_EQ(error.text(), QStringLiteral("标注仍在变化，请结束编辑后重新保存。"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("busy.kivaro"))));
}

TEST_F(Files, RendersAtAScaleNeverEnlargedWithMasksPixelatedOrBlack)
{
    document.load(picture(1600, 900), false);
    EXPECT_EQ(rendered(320, false).size(), QSize(320, 180));
    document.load(picture(200, 100), false);
    EXPECT_EQ(rendered(320, false).size(), QSize(200, 100));

    edit();
    const ShotState state = document.state();
    const QRectF maskFrame = state.markup.subelements().shape(state.masks.first())->frame;
    const QPoint inside = maskFrame.center().toPoint();
    const QImage normal = rendered(std::nullopt, false);
    const QImage expectedPatch = MosaicRenderer::patch(state.mosaicBackground, maskFrame).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(normal.pixel(inside), expectedPatch.pixel(inside - maskFrame.topLeft().toPoint()));
    EXPECT_EQ(rendered(std::nullopt, true).pixel(inside), qRgb(0, 0, 0));

    ShotState unlinked = state;
    unlinked.mosaics.clear();
    document.replace(unlinked, state, QStringLiteral("x"));
    EXPECT_EQ(rendered(std::nullopt, false).pixel(inside), qRgb(0, 0, 0));

    // Equal states give equal bytes.
    EXPECT_EQ(TestSupport::run(document.png(std::nullopt, false)), TestSupport::run(document.png(std::nullopt, false)));

    ShotDocument empty;
    try {
        TestSupport::run(empty.png(std::nullopt, false));
        ADD_FAILURE() << "rendered an empty document";
    } catch (const ShotError &error) {
        EXPECT_EQ(error.text(), QStringLiteral("图片太大，导出最多支持 4000 万像素。"));
    }
}
