// Writes the seed corpus of every fuzz target: files as the application itself writes them
// (projects, markup data, preference domains, our banded PNGs), plus what it reads but never
// writes: a few images of Qt's own writers, XML property lists and desktop entries.
//
//   fuzz-seeds <corpus folder>     (scripts/fuzz seeds writes fuzz/corpus)
//
// Identities are fresh UUIDs, so two runs give different bytes of the same shape. Every file
// stays small: seeds are mutated millions of times.

#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/RecognizedTextRecord.h"
#include "NativeAppAppearance/NativeAccentPalette.h"
#include "NativeAppUpdater/Ed25519.h"
#include "NativeAppUpdater/NativeReleaseTool.h"
#include "Platform/Async/Task.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Image/PngEncoder.h"
#include "Platform/Markup/Markup.h"
#include "Platform/PropertyList/PropertyList.h"

#include <QApplication>
#include <QBuffer>
#include <QColorSpace>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTimeZone>

#include "Support/HandMadePropertyList.h"

#include <cstdio>
#include <cstdlib>

using namespace Platform;

namespace {

QString g_corpus;

void write(const char *target, const QString &name, const QByteArray &bytes)
{
    const QString folder = g_corpus + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

// The same property list in the XML form, which the application reads but never writes.
QByteArray asXml(const QByteArray &binary)
{
    return HandMade::xml(Platform::decodePropertyList(binary));
}

QImage picture(int w, int h, bool alpha)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba((x * 37) % 256, (y * 11) % 256, (x * y) % 256, alpha ? (x + y * 5) % 256 : 255));
    return image;
}

QByteArray qtWritten(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return bytes;
}

template <typename T>
T awaitNow(Task<T> task)
{
    auto handle = Platform::start(std::move(task));
    while (!handle.isFinished())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (handle.error())
        std::rethrow_exception(handle.error());
    if constexpr (!std::is_void_v<T>)
        return handle.value();
}

void imageSeeds()
{
    PngEncodeOptions banded;
    banded.bandRows = 8;
    const QList<std::pair<QString, QByteArray>> pngs = {
        {QStringLiteral("banded-rgb.png"), encodePng(picture(24, 30, false), banded)},
        {QStringLiteral("banded-rgba.png"), encodePng(picture(20, 17, true), banded)},
        {QStringLiteral("one-band.png"), encodePng(picture(9, 5, false))},
        {QStringLiteral("one-pixel.png"), encodePng(picture(1, 1, true))},
        {QStringLiteral("level9.png"), encodePng(picture(16, 16, false), PngEncodeOptions{9, 4})},
    };
    QImage wide = picture(12, 10, true).convertToFormat(QImage::Format_RGBA64);
    QImage grey = picture(10, 10, false).convertToFormat(QImage::Format_Grayscale8);
    QImage indexed = picture(10, 10, false).convertToFormat(QImage::Format_Indexed8);
    QImage p3 = picture(8, 8, false);
    p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QList<std::pair<QString, QByteArray>> others = {
        {QStringLiteral("qt-16bit.png"), qtWritten(wide, "png")},
        {QStringLiteral("qt-grey.png"), qtWritten(grey, "png")},
        {QStringLiteral("qt-indexed.png"), qtWritten(indexed, "png")},
        {QStringLiteral("qt-display-p3.png"), qtWritten(p3, "png")},
        {QStringLiteral("qt.jpg"), qtWritten(picture(8, 8, false), "jpeg", 50)},
        {QStringLiteral("qt.bmp"), qtWritten(picture(4, 3, false), "bmp")},
        {QStringLiteral("qt.gif"), qtWritten(indexed, "gif")},
        {QStringLiteral("qt.ppm"), qtWritten(picture(4, 3, false), "ppm")},
    };
    for (const auto &[name, bytes] : pngs + others) {
        if (bytes.isEmpty())
            continue; // a writer this Qt does not have
        write("Image", name, bytes);
        write("Capture", name, bytes);
    }
}

Markup strokesAndShapes()
{
    Markup markup(QRectF(0, 0, 64, 48));
    markup.setBackgroundColor(QColor(250, 250, 245));
    StrokeElement stroke;
    stroke.id = MarkupID<StrokeElement>::make();
    stroke.ink = Ink{Ink::Type::Marker, QColor(240, 200, 0, 128), 6};
    for (int i = 0; i < 4; ++i)
        stroke.points.append(StrokePoint{QPointF(4 + i * 9, 30 - i * 5), i * 0.02, QSizeF(6, 6), 1, 0.5, 0.1, 1.2});
    stroke.creationDate = 1.7e9;
    stroke.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move;
    markup.subelements().append(stroke);
    ShapeElement line;
    line.id = MarkupID<ShapeElement>::make();
    line.shape = ShapeElement::Shape::line(QPointF(2, 2), QPointF(20, 4), QPointF(40, 30));
    line.frame = QRectF(2, 2, 38, 28);
    line.strokeColor = QColor(Qt::red);
    line.endLineMarker = ShapeElement::LineMarker::Arrow;
    line.lineWidth = 2;
    markup.subelements().append(line);
    ShapeElement rounded;
    rounded.id = MarkupID<ShapeElement>::make();
    rounded.shape = ShapeElement::Shape::roundedRectangle(4);
    rounded.frame = QRectF(30, 5, 30, 20);
    rounded.rotation = 0.3;
    rounded.fillColor = QColor(255, 255, 255, 200);
    TextAttributes bold;
    bold.fontWeight = 700;
    bold.fontSize = 9;
    bold.foregroundColor = QColor(Qt::blue);
    bold.paragraphStyle = ParagraphStyle{};
    rounded.attributedText = AttributedText(QStringLiteral("Hi "), bold);
    rounded.attributedText.append(QStringLiteral("截图"), TextAttributes{});
    markup.subelements().append(rounded);
    ShapeElement ellipse;
    ellipse.id = MarkupID<ShapeElement>::make();
    ellipse.shape = ShapeElement::Shape::ellipse();
    ellipse.frame = QRectF(5, 35, 20, 10);
    ellipse.strokeColor = QColor(Qt::green);
    markup.subelements().append(ellipse);
    return markup;
}

void projectAndMarkupSeeds()
{
    Kivaro::ShotDocument plain;
    plain.load(picture(40, 30, false), false);
    write("Project", QStringLiteral("picture-only.kivaro"), awaitNow(plain.archiveData()));

    Kivaro::ShotDocument annotated;
    annotated.load(picture(96, 64, false), false);
    annotated.addAnnotation(QStringLiteral("太阳的颜色偏暖"), QPointF(30, 20));
    annotated.addAnnotation(QStringLiteral("Palette\ncolours"), QPointF(70, 50));
    awaitNow(annotated.addMask(QRectF(5, 40, 20, 15)));
    annotated.addNumberedStep(QPointF(80, 10));
    annotated.addNumberedStep(QPointF(60, 30));
    const QByteArray annotatedProject = awaitNow(annotated.archiveData());
    write("Project", QStringLiteral("annotated.kivaro"), annotatedProject);
    write("Project", QStringLiteral("annotated-xml.kivaro"), asXml(annotatedProject));
    awaitNow(annotated.setMosaicGrain(40));
    write("Project", QStringLiteral("grain-40.kivaro"), awaitNow(annotated.archiveData()));

    const Markup drawn = strokesAndShapes();
    const Kivaro::ShotState annotatedState = Kivaro::LinkedAnnotations::reconcile(annotated.state());
    write("Markup", QStringLiteral("annotated.markup"), annotatedState.markup.dataRepresentation());
    write("Markup", QStringLiteral("strokes-and-shapes.markup"), drawn.dataRepresentation());
    write("Markup", QStringLiteral("empty.markup"), Markup(QRectF(0, 0, 1, 1)).dataRepresentation());
    // An earlier project file is the bare markup.
    write("Project", QStringLiteral("bare-markup.kivaro"), drawn.dataRepresentation());
    Kivaro::ShotState drawnState;
    drawnState.markup = drawn;
    write("PropertyList", QStringLiteral("project.bplist"), Kivaro::ProjectArchive::encodeNow(drawnState));
    write("PropertyList", QStringLiteral("markup.bplist"), drawn.dataRepresentation());
}

void propertyListAndPreferenceSeeds()
{
    const QVariantMap values{
        {QStringLiteral("text"), QStringLiteral("ASCII")},
        {QStringLiteral("unicode"), QStringLiteral("截图 ✂︎ 😀")},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("data"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("yes"), true},
        {QStringLiteral("small"), qint64(7)},
        {QStringLiteral("negative"), qint64(-40000)},
        {QStringLiteral("large"), qint64(1) << 40},
        {QStringLiteral("real"), 2.75},
        {QStringLiteral("date"), QDateTime(QDate(2024, 3, 1), QTime(12, 30), QTimeZone::utc())},
        {QStringLiteral("list"), QVariantList{qint64(1), QStringLiteral("two"), QVariantList{}, QVariantMap{}}},
        {QStringLiteral("nested"), QVariantMap{{QStringLiteral("inner"), QVariantMap{{QStringLiteral("k"), 0.5}}}}},
    };
    write("PropertyList", QStringLiteral("all-types.bplist"), encodePropertyList(values));
    write("PropertyList", QStringLiteral("array-root.bplist"), encodePropertyList(QVariantList{values, values}));
    write("PropertyList", QStringLiteral("string-root.bplist"), encodePropertyList(QStringLiteral("x")));
    write("PropertyList", QStringLiteral("all-types-xml.plist"), asXml(encodePropertyList(values)));
    write("Preferences", QStringLiteral("all-types.plist"), encodePropertyList(values));

    // The application's own settings, written through its own code.
    const QString domain = QStringLiteral("app.kivaro.Seeds");
    UserDefaults defaults = UserDefaults::suite(domain);
    defaults.set(QString::fromLatin1(Kivaro::CaptureModeShortcuts::legacyMainKey),
                 Kivaro::CaptureModeShortcuts::fallback(Kivaro::CaptureSelectionMode::window).encoded());
    Kivaro::CaptureModeShortcuts::migrate(defaults);
    Kivaro::CaptureSelectionModes::save(Kivaro::CaptureSelectionMode::region, defaults);
    defaults.set(QString::fromLatin1(NativeAppAppearance::NativeAccentPalette::standardDefaultsKey),
                 NativeAppAppearance::NativeAccentPalette(NativeAppAppearance::NativeAccentPalette::forest).rawValue());
    defaults.set(QStringLiteral("kivaro.showMenuBar"), true);
    QFile stored(UserDefaults::folder() + QLatin1Char('/') + domain + QStringLiteral(".plist"));
    if (!stored.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "the settings domain was not written\n");
        std::exit(1);
    }
    const QByteArray settings = stored.readAll();
    write("Preferences", QStringLiteral("settings.plist"), settings);
    write("Preferences", QStringLiteral("settings-xml.plist"), asXml(settings));
    write("PropertyList", QStringLiteral("settings.bplist"), settings);
}

void desktopEntrySeeds()
{
    const QList<std::pair<QString, QByteArray>> entries = {
        {QStringLiteral("viewer.desktop"), "[Desktop Entry]\nType=Application\nName=Viewer\nName[zh_CN]=看图\n"
                                           "Icon=viewer\nExec=viewer --open %U\nTryExec=viewer\n"
                                           "MimeType=image/png;image/jpeg;\nCategories=Graphics;\n"},
        {QStringLiteral("quoted.desktop"), "# comment\n[Desktop Entry]\nType=Application\nName=Quoted\\sName\n"
                                           "Exec=\"/opt/my app/bin/edit\" --title=\"%c\" %i --file %f --desktop %k %%\n"
                                           "Icon=/opt/my app/icon.png\nMimeType=image/png\\;x;image/*;\n"},
        {QStringLiteral("escapes.desktop"), "[Desktop Entry]\nType=Application\nName=Esc\n"
                                            "Exec=sh -c \"echo \\\\\"\\\\$1\\\\\" \\\\`x\\\\`\" sh %u\n"
                                            "OnlyShowIn=GNOME;KDE;\nNotShowIn=XFCE;\n"},
        {QStringLiteral("terminal.desktop"), "[Desktop Entry]\nType=Application\nName=Term\nExec=vi %F\n"
                                             "Terminal=true\nNoDisplay=false\nHidden=false\n"},
        {QStringLiteral("actions.desktop"), "[Desktop Entry]\nType=Application\nName=Acts\nExec=acts\n"
                                            "Actions=New;\n\n[Desktop Action New]\nName=New\nExec=acts --new %f\n"},
        {QStringLiteral("link.desktop"), "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org/\n"},
    };
    for (const auto &[name, text] : entries)
        write("DesktopEntry", name, text);
}

void polishingResponseSeeds()
{
    // Answers of chat-completions services as they come: the usual fields around the one that
    // is read, a reasoning field, several answers, no text, escapes.
    const QList<std::pair<QString, QByteArray>> answers = {
        {QStringLiteral("reply.json"), R"json({"id":"chatcmpl-1","object":"chat.completion","created":1700000000,"model":"deepseek-v4-flash","choices":[{"index":0,"message":{"role":"assistant","content":"润色后的文字。\n第二段。"},"finish_reason":"stop"}],"usage":{"prompt_tokens":12,"completion_tokens":8,"total_tokens":20}})json"},
        {QStringLiteral("reasoning.json"), R"json({"choices":[{"index":0,"message":{"role":"assistant","reasoning_content":"先看标点。","content":"  Polished text.  "}}]})json"},
        {QStringLiteral("two-choices.json"), R"json({"choices":[{"message":{"content":"first"}},{"message":{"content":null,"tool_calls":[]}}]})json"},
        {QStringLiteral("null-content.json"), R"json({"choices":[{"message":{"role":"assistant","content":null}}]})json"},
        {QStringLiteral("empty-choices.json"), R"json({"choices":[],"error":{"message":"quota","code":429}})json"},
        {QStringLiteral("escapes.json"), R"json({"choices":[{"message":{"content":"\u6da6\u8272 \ud83d\ude00 \"q\" \\ \/ \t\u0000end"}}]})json"},
        {QStringLiteral("minimal.json"), R"json({"choices":[{"message":{}}]})json"},
    };
    for (const auto &[name, text] : answers)
        write("PolishingResponse", name, text);
}

void updaterSeeds()
{
    using namespace NativeAppUpdater;
    NativeUpdateManifest manifest;
    manifest.schemaVersion = 1;
    manifest.product = QStringLiteral("kivaro");
    manifest.version = QStringLiteral("2.0");
    manifest.build = 200;
    manifest.downloadURL = QStringLiteral("https://updates.example.org/Kivaro-2.0.zip");
    manifest.sha256 = QString(64, QLatin1Char('a'));
    write("UpdateManifest", QStringLiteral("plain.json"), manifest.encode());
    manifest.releaseNotes = QStringLiteral(
        "# Kivaro 2.0\n\n更快的截图。\n\n1. **bold** *em* `code` ~~gone~~\n2. [site](https://example.org/) [file](file:///etc/hosts)\n\n"
        "- <b>html</b> ![image](file:///etc/hosts) &amp; &#x4E2D;\n\n> quote\n\n```\ncode block\n```\n\n| a | b |\n|---|---|\n| 1 | 2 |\n");
    write("UpdateManifest", QStringLiteral("notes.json"), manifest.encode());

    // A small signed bundle as the release tool makes it, with a stand-in executable.
    QTemporaryDir folder;
    const QString build = folder.path() + QStringLiteral("/build");
    QDir().mkpath(build + QStringLiteral("/bin"));
    QDir().mkpath(build + QStringLiteral("/lib"));
    QFile executable(build + QStringLiteral("/bin/kivaro"));
    executable.open(QIODevice::WriteOnly);
    executable.write(QByteArray("\x7f" "ELF") + QByteArray(60, '\0'));
    executable.close();
    executable.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile library(build + QStringLiteral("/lib/libkivaro.so.1"));
    library.open(QIODevice::WriteOnly);
    library.write("library");
    library.close();
    QFile::link(QStringLiteral("libkivaro.so.1"), build + QStringLiteral("/lib/libkivaro.so"));
    NativeReleaseTool::BundleDescription description;
    description.identifier = QStringLiteral("app.kivaro.Kivaro");
    description.team = QStringLiteral("TESTTEAM01");
    description.version = QStringLiteral("2.0");
    description.build = 200;
    const QString bundle = NativeReleaseTool::assembleBundle(build, folder.path(), description);
    const auto signing = Ed25519::generate();
    const auto countersigning = Ed25519::generate();
    NativeReleaseTool::signBundle(bundle, description.sealHeader(), signing.privateKey, countersigning.privateKey);
    const auto entries = NativeReleaseTool::entriesOfFolder(bundle);
    write("UpdateArchive", QStringLiteral("bundle.zip"), NativeReleaseTool::writeZip(entries));
    // The same with an extra entry through a link, which the reader must refuse.
    auto hostile = entries;
    hostile << NativeReleaseTool::ZipEntry{QStringLiteral("Kivaro.app/lib/libkivaro.so/x"), SealEntry::Type::file, 0644, "x", {}};
    write("UpdateArchive", QStringLiteral("through-link.zip"), NativeReleaseTool::writeZip(hostile));
}

void historyRecordSeeds()
{
    // Entries as the history writes them: plain, polished with every kind of character, a date
    // before 2001 and one with milliseconds; and what a hand or another version might leave.
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1'733'000'000'123, Qt::UTC);
    const QString id = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
    write("HistoryRecord", QStringLiteral("plain.json"), Kivaro::RecognizedTextRecord{id, QStringLiteral("Kivaro 截图识字 2024"), false, date}.toJson());
    write("HistoryRecord", QStringLiteral("polished.json"),
          Kivaro::RecognizedTextRecord{id, QStringLiteral("  第一行\n第二行\t\"引号\" \\ 😀 \u0001 end  "), true, date}.toJson());
    write("HistoryRecord", QStringLiteral("before-2001.json"),
          Kivaro::RecognizedTextRecord{id, QStringLiteral("old"), false, QDateTime::fromMSecsSinceEpoch(-86'400'000, Qt::UTC)}.toJson());
    write("HistoryRecord", QStringLiteral("other-id.json"),
          Kivaro::RecognizedTextRecord{QStringLiteral("11111111-2222-4333-8444-555555555555"), QStringLiteral("x"), false, date}.toJson());
    write("HistoryRecord", QStringLiteral("extra-keys.json"),
          R"json({"text":"reordered","date":754000000.5,"polished":false,"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","future":{"k":[1,2]}})json");
    write("HistoryRecord", QStringLiteral("wrong-types.json"), R"json({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","text":1,"polished":"no","date":"x"})json");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    // The settings are written through UserDefaults: never into the user's own preferences.
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANGUAGE", "zh_CN");
    QApplication app(argc, argv);
    g_corpus = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();

    imageSeeds();
    projectAndMarkupSeeds();
    propertyListAndPreferenceSeeds();
    desktopEntrySeeds();
    polishingResponseSeeds();
    updaterSeeds();
    historyRecordSeeds();
    return 0;
}
