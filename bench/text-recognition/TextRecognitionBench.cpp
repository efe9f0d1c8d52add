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
//   bench-text-recognition [--configs cli,plain,+polarity,...] [--only <name part>] [--show]
//                          [--dump <folder>]

#include "TellumoCore/TextRecognizer.h"
#include "TellumoCore/internal/OcrEngines.h"
#include "TellumoCore/internal/RecognitionPipeline.h"
#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TextScreens/CharacterErrors.h"
#include "TextScreens/TextScreens.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

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
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
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

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("configs"), QStringLiteral("Configurations to run, comma separated."), QStringLiteral("list")},
                       {QStringLiteral("only"), QStringLiteral("Only images whose name contains this."), QStringLiteral("text")},
                       {QStringLiteral("show"), QStringLiteral("Print the expected and recognised text of each image.")},
                       {QStringLiteral("dump"), QStringLiteral("Write the images and their expected text here."), QStringLiteral("folder")}});
    parser.addHelpOption();
    parser.process(app);

    std::vector<Config> configs;
    const QStringList wanted = parser.value(QStringLiteral("configs")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (Config &config : configurations())
        if (wanted.isEmpty() || wanted.contains(config.name))
            configs.push_back(std::move(config));

    using Tellumo::detail::OcrModel;
    Tellumo::detail::warmWorkers({OcrModel::combined, OcrModel::simplified, OcrModel::traditional, OcrModel::english});
    Tellumo::detail::OcrEngines::warm(OcrModel::combined);

    QTemporaryDir folder;
    const QString dump = parser.value(QStringLiteral("dump"));
    if (!dump.isEmpty())
        QDir().mkpath(dump);

    std::map<QString, std::map<QString, Tally>> byLanguage, bySize, byTheme, byFace, byScene, byFraming, overall;
    std::map<QString, Tally> screenTime, regionTime;
    for (const Spec &spec : corpus()) {
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
    return 0;
}
