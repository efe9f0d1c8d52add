// Character error rate and time of text recognition on rendered screenshots.
//
// Renders the corpus of TextScreens (menus, dialogs, settings tables, chats, code and articles
// in four languages, two themes, six sizes and three Chinese faces, as whole screens and as
// region captures, with only the faces scripts/install-deps installs) and
// reads every image with each configuration:
//   cli       the engine's command-line program, all three languages, a process per image
//   plain     the engine through its library, all three languages, automatic page layout
//   +polarity, +upscale, +blocks, +script, +layout
//             the recogniser with its steps switched on one after another; the last is the
//             recogniser as the application runs it
// and prints the error rate per language, size, theme, face, scene and framing, and the time per
// image.
// Engines are started before the clock runs (the application keeps them warm); the command-line
// program's time includes its start, as a user running it would see.
//
// With --memory it measures instead the resident memory of a recognition of a 4K screen (four
// whole screens side by side) against the command-line program on the same picture, each in a
// process of its own: the recogniser's process holding the screen (its baseline), after the
// engines start, its peak while reading, right after, and once the engines' idle period has
// passed; then the same for a full HD screen, and the peak of one process that reads many varied
// screens one after another (ManyScreens.h; --memory-screens runs only that). With --large it
// reads 5K and 6K screens of small text as the application does (at full resolution) and scaled down to a 4K screen's pixels. With --ink it
// times the ink analysis that starts every recognition, on one thread against several, on a
// 1920 × 1080 screen and on a 4K screen.
//
// With --held-out 0 to 4 it reads one of the five sets of screens the corpus does not hold instead
// (TextScreens::heldOut).
//
//   bench-text-recognition [--configs cli,plain,+polarity,...] [--only <name part>] [--show] [--held-out <set>]
//                          [--dump <folder>] [--engines <per model>] [--memory] [--memory-screens]
//                          [--passes <count>] [--large] [--ink]

#include "ManyScreens.h"
#include "ProcessMemory.h"

#include "TellumoCore/TextRecognizer.h"
#include "TellumoCore/internal/InkSegmentation.h"
#include "TellumoCore/internal/OcrEngines.h"
#include "TellumoCore/internal/RecognitionPipeline.h"
#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TextScreens/CharacterErrors.h"
#include "TextScreens/TextScreens.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <QPainter>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

using namespace TextScreens;
using Tellumo::detail::RecognitionOptions;

namespace {

struct Config {
    QString name;
    std::function<QString(const Screen &, const QString &pngPath)> read;
};

struct Tally {
    CharacterErrors errors;
    double seconds = 0;
    int images = 0;
};

QString readWithCli(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("tesseract"), {path, QStringLiteral("stdout"), QStringLiteral("-l"), QStringLiteral("chi_sim+chi_tra+eng")});
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "tesseract failed on %s\n", qPrintable(path));
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::vector<Config> configurations()
{
    auto steps = [](int count) {
        RecognitionOptions options = RecognitionOptions::plain();
        bool *flags[] = {&options.normalizePolarity, &options.upscaleSmallText, &options.segmentBlocks, &options.chooseScript, &options.orderByLayout};
        for (int i = 0; i < count; ++i)
            *flags[i] = true;
        return [options](const Screen &screen, const QString &) {
            return Tellumo::detail::recognizeImage(screen.image.convertToFormat(QImage::Format_RGB32), options);
        };
    };
    return {
        {QStringLiteral("cli"), [](const Screen &, const QString &path) { return readWithCli(path); }},
        {QStringLiteral("plain"), steps(0)},
        {QStringLiteral("+polarity"), steps(1)},
        {QStringLiteral("+upscale"), steps(2)},
        {QStringLiteral("+blocks"), steps(3)},
        {QStringLiteral("+script"), steps(4)},
        {QStringLiteral("+layout"), steps(5)},
        {QStringLiteral("recognizer"), [](const Screen &screen, const QString &) { return Tellumo::TextRecognizer::recognizeNow(screen.image); }},
    };
}

void printTable(const QString &title, const std::vector<QString> &configs, const std::map<QString, std::map<QString, Tally>> &byGroup)
{
    std::printf("\n%s\n%-14s", qPrintable(title), "");
    for (const QString &config : configs)
        std::printf(" %11s", qPrintable(config));
    std::printf("\n");
    for (const auto &[group, tallies] : byGroup) {
        std::printf("%-14s", qPrintable(group));
        for (const QString &config : configs) {
            const auto found = tallies.find(config);
            if (found == tallies.end())
                std::printf(" %11s", "-");
            else
                std::printf(" %10.1f%%", 100.0 * found->second.errors.rate());
        }
        std::printf("\n");
    }
}

// Whole screens laid side by side on a canvas of `size`, left to right and top to bottom, and
// their text in that order. The rest of the canvas is the first screen's desktop.
Screen tiled(QSize size, const std::vector<Spec> &specs)
{
    Screen canvas{specs.front(), QImage(size, QImage::Format_RGB32), {}};
    canvas.image.fill(QColor(QRgb(0x5B8DEF)));
    QPainter painter(&canvas.image);
    int x = 0, y = 0;
    for (const Spec &spec : specs) {
        const Screen screen = render(spec);
        if (x + screen.image.width() > size.width()) {
            x = 0;
            y += screen.image.height();
        }
        if (y + screen.image.height() > size.height())
            break;
        painter.drawImage(x, y, screen.image);
        for (const Line &line : screen.lines)
            canvas.lines.push_back({line.text, line.box.translated(x, y)});
        x += screen.image.width();
    }
    return canvas;
}

std::vector<Spec> smallScreens(int count)
{
    std::vector<Spec> specs;
    const Scene scenes[] = {Scene::settings, Scene::article, Scene::code, Scene::chat, Scene::menu, Scene::dialog};
    for (int i = 0; i < count; ++i)
        specs.push_back({scenes[i % 6], Language(i % 4), Theme(i % 2), 12 + 2 * (i % 2), Framing::fullScreen, 0, Face(i % 3)});
    return specs;
}

// One measurement of the recogniser in a process of its own, so that nothing the benchmark did
// before (rendering the corpus, other configurations) is counted: the process holds the screen
// as the application holds a capture, starts the engines, reads the screen three times and
// waits out the engines' idle period. Prints its figures as "name value" lines.
int memoryChild(const QString &path, const QString &expectedPath)
{
    using Tellumo::detail::OcrModel;
    namespace Engines = Tellumo::detail::OcrEngines;
    constexpr std::chrono::milliseconds idlePeriod(2000);
    QFile expectedFile(expectedPath);
    if (!expectedFile.open(QIODevice::ReadOnly))
        return 1;
    const QString expected = QString::fromUtf8(expectedFile.readAll());
    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return 1;
    Engines::setIdlePeriod(idlePeriod);
    std::printf("baseline %.1f\nbaselineFile %.1f\n", BenchMemory::residentMb(), BenchMemory::residentMb("RssFile:"));
    QElapsedTimer clock;
    clock.start();
    Tellumo::detail::warmWorkers({OcrModel::simplified, OcrModel::traditional, OcrModel::english});
    std::printf("warm %.1f\nwarmSeconds %.2f\n", BenchMemory::residentMb(), double(clock.elapsed()) / 1000.0);
    std::vector<double> seconds;
    double peak = 0;
    for (int run = 0; run < 3; ++run) {
        BenchMemory::resetPeak();
        clock.restart();
        // On a recognition worker, as the application reads.
        const QString text =
            QtConcurrent::run(&Tellumo::detail::recognitionPool(), [&image] { return Tellumo::TextRecognizer::recognizeNow(image); }).result();
        seconds.push_back(double(clock.nsecsElapsed()) / 1e9);
        peak = std::max(peak, BenchMemory::residentMb("VmHWM:"));
        std::printf("after%d %.1f\nerrors%d %.4f\n", run, BenchMemory::residentMb(), run, characterErrors(expected, text).rate());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("peak %.1f\nseconds %.3f\n", peak, seconds[1]);
    QElapsedTimer idle;
    idle.start();
    while (Engines::startedEngines() > 0 && idle.elapsed() < 10 * idlePeriod.count())
        QThread::msleep(50);
    // The recognition threads end after the same period, from their last task on.
    QThread::msleep(1000);
    std::printf("idleEngines %d\nidle %.1f\nidleFile %.1f\n", Engines::startedEngines(), BenchMemory::residentMb(), BenchMemory::residentMb("RssFile:"));
    return 0;
}

// One picture: the recogniser's resident memory against the command-line program's.
int measureMemoryOf(const QString &folder, const Screen &screen, const char *title)
{
    const QString path = folder + QStringLiteral("/memory.png"), expectedPath = folder + QStringLiteral("/memory.txt");
    screen.image.save(path);
    QFile expectedFile(expectedPath);
    if (!expectedFile.open(QIODevice::WriteOnly) || expectedFile.write(screen.text().toUtf8()) < 0)
        return 1;
    expectedFile.close();

    std::map<QByteArray, double> figures;
    const QString figuresPath = folder + QStringLiteral("/figures.txt");
    const double childPeak = BenchMemory::childPeakMb(QCoreApplication::applicationFilePath(),
                                         {QStringLiteral("--memory-child"), path, QStringLiteral("--expected"), expectedPath}, figuresPath);
    QFile figuresFile(figuresPath);
    if (childPeak < 0 || !figuresFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "the measuring process failed\n");
        return 1;
    }
    for (const QByteArray &line : figuresFile.readAll().split('\n'))
        if (const QList<QByteArray> words = line.split(' '); words.size() == 2)
            figures[words[0]] = words[1].toDouble();

    QElapsedTimer clock;
    clock.start();
    const QString cliOutput = folder + QStringLiteral("/cli");
    const double cli = BenchMemory::childPeakMb(QStringLiteral("tesseract"), {path, cliOutput, QStringLiteral("-l"), QStringLiteral("chi_sim+chi_tra+eng")});
    const double cliSeconds = double(clock.nsecsElapsed()) / 1e9;
    QFile cliText(cliOutput + QStringLiteral(".txt"));
    if (cli < 0 || !cliText.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "the command-line program failed\n");
        return 1;
    }
    const double cliErrors = characterErrors(screen.text(), QString::fromUtf8(cliText.readAll())).rate();

    const double baseline = figures["baseline"], peak = std::max(figures["peak"], childPeak);
    std::printf("%s, resident MB of a process that holds the screen and reads it three times\n", title);
    std::printf("  baseline (the process and its screen)  %7.0f\n", baseline);
    std::printf("  engines started                        %7.0f   (%+.0f)\n", figures["warm"], figures["warm"] - baseline);
    std::printf("  peak while reading                     %7.0f   (%.2fx the command-line program's peak)\n", peak, peak / cli);
    std::printf("    of which the recogniser's            %7.0f   (%.2fx)\n", peak - baseline, (peak - baseline) / cli);
    std::printf("  right after each reading               %7.0f %7.0f %7.0f\n", figures["after0"], figures["after1"], figures["after2"]);
    std::printf("  after the idle period (%d engines)      %7.0f   (%+.0f against the baseline)\n", int(figures["idleEngines"]), figures["idle"],
                figures["idle"] - baseline);
    // Pages of the engine's libraries and of the fonts read from their files count as resident
    // too; the system takes them back when it needs the room.
    std::printf("    of which read from files                %+7.0f   (libraries' code, fonts)\n", figures["idleFile"] - figures["baselineFile"]);
    std::printf("  command-line program peak              %7.0f\n", cli);
    std::printf("  error rate %.1f%% in %.2fs (median of three); command-line program %.1f%% in %.2fs (%.2fx its time)\n",
                100 * figures["errors2"], figures["seconds"], 100 * cliErrors, cliSeconds, figures["seconds"] / cliSeconds);
    return 0;
}

int measureMemory(const QString &folder, int passes)
{
    if (const int failed = measureMemoryOf(folder, tiled({3840, 2160}, smallScreens(4)), "4K screen (3840x2160, four screens of 12-14 px text)"))
        return failed;
    std::printf("\n");
    if (const int failed = measureMemoryOf(folder, tiled({1920, 1080}, smallScreens(1)), "Full HD screen (1920x1080, one screen of 12-14 px text)"))
        return failed;
    std::printf("\n");
    return ManyScreens::measure(folder, passes);
}

int measureLarge(const QString &folder)
{
    std::printf("%-10s %10s %10s %10s %10s %10s %10s\n", "screen", "cli", "time", "scaled", "time", "full", "time");
    for (const QSize size : {QSize(5120, 2880), QSize(6016, 3384)}) {
        const Screen screen = tiled(size, smallScreens(6));
        const QString path = folder + QStringLiteral("/large.png");
        screen.image.save(path);
        QElapsedTimer clock;
        clock.start();
        const double cliRate = characterErrors(screen.text(), readWithCli(path)).rate();
        const double cliSeconds = double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        const double factor = std::sqrt(3840.0 * 2160.0 / (double(size.width()) * size.height()));
        const QImage scaled = screen.image.scaled(int(size.width() * factor), int(size.height() * factor), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double scaledRate = characterErrors(screen.text(), Tellumo::TextRecognizer::recognizeNow(scaled)).rate();
        const double scaledSeconds = double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        const double fullRate = characterErrors(screen.text(), Tellumo::TextRecognizer::recognizeNow(screen.image)).rate();
        const double fullSeconds = double(clock.nsecsElapsed()) / 1e9;
        std::printf("%4dx%-5d %9.1f%% %9.2fs %9.1f%% %9.2fs %9.1f%% %9.2fs\n", size.width(), size.height(), 100 * cliRate, cliSeconds,
                    100 * scaledRate, scaledSeconds, 100 * fullRate, fullSeconds);
    }
    return 0;
}

// The median of `runs` analyses of `image` in `strips` strips (0: as the recogniser chooses), in
// milliseconds.
double analysisMs(const QImage &image, int strips, int runs)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const Tellumo::detail::InkSegmentation ink(image, strips);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (ink.glyphs().empty())
            std::fprintf(stderr, "no ink found\n");
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int measureInk()
{
    const QByteArray loadAverage = BenchMemory::loadAverage();
    std::printf("Ink analysis, median of 9 runs, %d recognition workers (load average %s)\n%-22s %10s %10s %10s\n",
                Tellumo::detail::recognitionPool().maxThreadCount(), loadAverage.constData(), "screen", "1 thread", "threads", "ratio");
    const Screen screens[] = {render({Scene::chat, Language::mixed, Theme::light, 14, Framing::fullScreen, 0, Face::wenQuanYi}),
                              tiled({3840, 2160}, smallScreens(4))};
    for (const Screen &screen : screens) {
        const QImage image = screen.image.convertToFormat(QImage::Format_RGB32);
        const double serial = analysisMs(image, 1, 9), parallel = analysisMs(image, 0, 9);
        std::printf("%4dx%-17d %8.1fms %8.1fms %9.2fx\n", image.width(), image.height(), serial, parallel, serial / parallel);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("configs"), QStringLiteral("Configurations to run, comma separated."), QStringLiteral("list")},
                       {QStringLiteral("only"), QStringLiteral("Only images whose name contains this."), QStringLiteral("text")},
                       {QStringLiteral("show"), QStringLiteral("Print the expected and recognised text of each image.")},
                       {QStringLiteral("dump"), QStringLiteral("Write the images and their expected text here."), QStringLiteral("folder")},
                       {QStringLiteral("held-out"), QStringLiteral("Read this set of screens nobody tuned on instead of the corpus (0 to 4)."), QStringLiteral("set")},
                       {QStringLiteral("engines"), QStringLiteral("Engines of each model (default: the application's)."), QStringLiteral("count")},
                       {QStringLiteral("memory"), QStringLiteral("Measure resident memory on a 4K screen against the command-line program, and over many screens.")},
                       {QStringLiteral("memory-screens"), QStringLiteral("Measure resident memory over many screens read in one process only.")},
                       {QStringLiteral("passes"), QStringLiteral("Passes over the many screens (default 2)."), QStringLiteral("count")},
                       {QStringLiteral("large"), QStringLiteral("Read 5K and 6K screens of small text scaled down and at full resolution.")},
                       {QStringLiteral("ink"), QStringLiteral("Time the ink analysis on one thread and on several.")},
                       {QStringLiteral("memory-child"), QStringLiteral("Internal: measure the recogniser on this picture."), QStringLiteral("png")},
                       {QStringLiteral("memory-screens-child"), QStringLiteral("Internal: read the screens of this list."), QStringLiteral("file")},
                       {QStringLiteral("expected"), QStringLiteral("Internal: the picture's text."), QStringLiteral("file")}});
    parser.addHelpOption();
    parser.process(app);

    std::vector<Config> configs;
    const QStringList wanted = parser.value(QStringLiteral("configs")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (Config &config : configurations())
        if (wanted.isEmpty() || wanted.contains(config.name))
            configs.push_back(std::move(config));

    using Tellumo::detail::OcrModel;
    if (parser.isSet(QStringLiteral("engines")))
        for (OcrModel model : {OcrModel::combined, OcrModel::simplified, OcrModel::traditional, OcrModel::english})
            Tellumo::detail::OcrEngines::setEngineLimit(model, parser.value(QStringLiteral("engines")).toInt());
    if (parser.isSet(QStringLiteral("memory-child")))
        return memoryChild(parser.value(QStringLiteral("memory-child")), parser.value(QStringLiteral("expected")));
    const int passes = parser.isSet(QStringLiteral("passes")) ? std::max(1, parser.value(QStringLiteral("passes")).toInt()) : 2;
    if (parser.isSet(QStringLiteral("memory-screens-child")))
        return ManyScreens::child(parser.value(QStringLiteral("memory-screens-child")), passes);
    if (parser.isSet(QStringLiteral("ink")))
        return measureInk();
    QTemporaryDir folder;
    const QString memoryFolder =
        parser.isSet(QStringLiteral("dump")) && QDir().mkpath(parser.value(QStringLiteral("dump"))) ? parser.value(QStringLiteral("dump")) : folder.path();
    if (parser.isSet(QStringLiteral("memory")))
        return measureMemory(memoryFolder, passes);
    if (parser.isSet(QStringLiteral("memory-screens")))
        return ManyScreens::measure(memoryFolder, passes);
    Tellumo::detail::warmWorkers({OcrModel::combined, OcrModel::simplified, OcrModel::traditional, OcrModel::english});
    const int warmStarts = Tellumo::detail::OcrEngines::engineStarts();
    if (parser.isSet(QStringLiteral("large")))
        return measureLarge(folder.path());

    const QString dump = parser.value(QStringLiteral("dump"));
    if (!dump.isEmpty())
        QDir().mkpath(dump);

    std::map<QString, std::map<QString, Tally>> byLanguage, bySize, byTheme, byFace, byScene, byFraming, overall;
    std::map<QString, Tally> screenTime, regionTime;
    std::map<QString, std::vector<double>> secondsOf; // per configuration, image by image
    const std::vector<Spec> specs =
        parser.isSet(QStringLiteral("held-out")) ? heldOut(parser.value(QStringLiteral("held-out")).toInt()) : corpus();
    if (specs.empty()) {
        std::fprintf(stderr, "no such set of screens: %s\n", qPrintable(parser.value(QStringLiteral("held-out"))));
        return 2;
    }
    for (const Spec &spec : specs) {
        const Screen screen = render(spec);
        if (parser.isSet(QStringLiteral("only")) && !screen.name().contains(parser.value(QStringLiteral("only"))))
            continue;
        const QString path = folder.filePath(screen.name() + QStringLiteral(".png"));
        screen.image.save(path);
        if (!dump.isEmpty()) {
            screen.image.save(dump + QLatin1Char('/') + screen.name() + QStringLiteral(".png"));
            QFile text(dump + QLatin1Char('/') + screen.name() + QStringLiteral(".txt"));
            if (text.open(QIODevice::WriteOnly))
                text.write(screen.text().toUtf8() + '\n');
        }
        std::printf("%-44s", qPrintable(screen.name()));
        for (const Config &config : configs) {
            QElapsedTimer clock;
            clock.start();
            const QString recognized = config.read(screen, path);
            const double seconds = double(clock.nsecsElapsed()) / 1e9;
            const CharacterErrors errors = characterErrors(screen.text(), recognized);
            secondsOf[config.name].push_back(seconds);
            std::printf(" %s %5.1f%% %5.2fs", qPrintable(config.name), 100.0 * errors.rate(), seconds);
            for (auto *table : {&byLanguage, &bySize, &byTheme, &byFace, &byScene, &byFraming, &overall}) {
                QString group;
                if (table == &byLanguage)
                    group = name(spec.language);
                else if (table == &bySize)
                    group = QStringLiteral("%1 px").arg(spec.textSize, 2);
                else if (table == &byTheme)
                    group = name(spec.theme);
                else if (table == &byFace)
                    group = name(spec.face);
                else if (table == &byScene)
                    group = name(spec.scene);
                else if (table == &byFraming)
                    group = name(spec.framing);
                else
                    group = QStringLiteral("all");
                Tally &tally = (*table)[group][config.name];
                tally.errors += errors;
                tally.seconds += seconds;
                ++tally.images;
            }
            if (parser.isSet(QStringLiteral("show")))
                std::printf("\n--- expected\n%s\n--- %s\n%s\n", qPrintable(screen.text()), qPrintable(config.name), qPrintable(recognized));
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    std::vector<QString> names;
    for (const Config &config : configs)
        names.push_back(config.name);
    printTable(QStringLiteral("Character error rate"), names, overall);
    printTable(QStringLiteral("by language"), names, byLanguage);
    printTable(QStringLiteral("by text size"), names, bySize);
    printTable(QStringLiteral("by theme"), names, byTheme);
    printTable(QStringLiteral("by Chinese face"), names, byFace);
    printTable(QStringLiteral("by scene"), names, byScene);
    printTable(QStringLiteral("by framing"), names, byFraming);
    std::printf("\nEngines started while reading: %d\n", Tellumo::detail::OcrEngines::engineStarts() - warmStarts);
    std::printf("\nSeconds per image\n%-14s", "");
    for (const QString &config : names)
        std::printf(" %11s", qPrintable(config));
    std::printf("\n");
    for (const auto &[group, tallies] : byFraming) {
        std::printf("%-14s", qPrintable(group));
        for (const QString &config : names) {
            const Tally &tally = tallies.at(config);
            std::printf(" %10.2fs", tally.seconds / std::max(1, tally.images));
        }
        std::printf("\n");
    }
    // Each image's time against the command-line program's on the same image: the median and the
    // worst, and the screens above the target error rate.
    if (const auto cli = secondsOf.find(QStringLiteral("cli")); cli != secondsOf.end()) {
        std::printf("\nTime per image against the command-line program's (median, largest; all images together)\n");
        for (const QString &config : names) {
            if (config == cli->first)
                continue;
            std::vector<double> ratios;
            double total = 0, cliTotal = 0;
            for (size_t i = 0; i < secondsOf[config].size() && i < cli->second.size(); ++i) {
                if (cli->second[i] > 0)
                    ratios.push_back(secondsOf[config][i] / cli->second[i]);
                total += secondsOf[config][i];
                cliTotal += cli->second[i];
            }
            if (ratios.empty())
                continue;
            std::sort(ratios.begin(), ratios.end());
            const double median = ratios.size() % 2 ? ratios[ratios.size() / 2] : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
            std::printf("%-14s %10.2fx %10.2fx %10.2fx\n", qPrintable(config), median, ratios.back(), cliTotal > 0 ? total / cliTotal : 0.0);
        }
    }
    return 0;
}
