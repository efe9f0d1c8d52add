#include "ManyScreens.h"

#include "ProcessMemory.h"
#include "support/RunTask.h"

#include "TellumoCore/ScreenRegionCapture.h"
#include "TellumoCore/TextRecognizer.h"
#include "TextScreens/CharacterErrors.h"
#include "TextScreens/TextScreens.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace ManyScreens {

using namespace TextScreens;

int child(const QString &listPath, int passes)
{
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly))
        return 1;
    std::vector<std::pair<QString, QString>> screens; // picture, expected text
    for (const QByteArray &line : list.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 2)
            continue;
        QFile expected(QFile::decodeName(fields[1]));
        if (!expected.open(QIODevice::ReadOnly))
            return 1;
        screens.emplace_back(QFile::decodeName(fields[0]), QString::fromUtf8(expected.readAll()));
    }
    std::printf("baseline %.1f\n", BenchMemory::residentMb());
    if (!BenchSupport::wait(Tellumo::TextRecognizer::prewarm()))
        return 1;
    std::printf("warm %.1f %.1f\n", BenchMemory::residentMb(), BenchMemory::residentMb("VmHWM:"));
    std::fflush(stdout);
    for (int pass = 0; pass < passes; ++pass) {
        for (size_t i = 0; i < screens.size(); ++i) {
            QElapsedTimer clock;
            clock.start();
            // As the application reads a capture: decoded from its file, read on the workers.
            const QImage image = Tellumo::ScreenRegionCapture::decodeCapture(screens[i].first);
            const QString text = BenchSupport::wait(Tellumo::TextRecognizer::recognize(image));
            const CharacterErrors errors = characterErrors(screens[i].second, text);
            std::printf("screen %d %zu %lld %lld %.3f %.1f %.1f\n", pass, i, errors.edits, errors.length, double(clock.nsecsElapsed()) / 1e9,
                        BenchMemory::residentMb(), BenchMemory::residentMb("VmHWM:"));
            std::fflush(stdout);
        }
    }
    return 0;
}

int measure(const QString &folder, int passes)
{
    std::vector<Screen> screens;
    for (const Spec &spec : heldOut())
        screens.push_back(render(spec));
    const QString listPath = folder + QStringLiteral("/screens.txt");
    QFile list(listPath);
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    for (size_t i = 0; i < screens.size(); ++i) {
        const QString base = folder + QStringLiteral("/screen-%1").arg(i, 2, 10, QLatin1Char('0'));
        QFile expected(base + QStringLiteral(".txt"));
        if (!screens[i].image.save(base + QStringLiteral(".png")) || !expected.open(QIODevice::WriteOnly) ||
            expected.write(screens[i].text().toUtf8()) < 0)
            return 1;
        list.write(QFile::encodeName(base + QStringLiteral(".png")) + '\t' + QFile::encodeName(expected.fileName()) + '\n');
    }
    list.close();

    const QString figuresPath = folder + QStringLiteral("/many-figures.txt");
    const double childPeak = BenchMemory::childPeakMb(QCoreApplication::applicationFilePath(),
                                                      {QStringLiteral("--memory-screens-child"), listPath, QStringLiteral("--passes"),
                                                       QString::number(passes)},
                                                      figuresPath);
    QFile figures(figuresPath);
    if (childPeak < 0 || !figures.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "the measuring process failed\n");
        return 1;
    }
    std::printf("%zu screens read one after another in one process, %d passes (load average %s)\n", screens.size(), passes,
                BenchMemory::loadAverage().constData());
    std::printf("%-44s %7s %7s %8s %8s\n", "screen", "error", "seconds", "now MB", "peak MB");
    std::map<int, CharacterErrors> errorsOfPass;
    std::map<int, double> secondsOfPass, peakOfPass;
    double worst = 0;
    QString worstName;
    for (const QByteArray &line : figures.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.value(0) == "baseline") {
            std::printf("%-44s %7s %7s %8.0f\n", "the process and its screens' names", "", "", words.value(1).toDouble());
        } else if (words.value(0) == "warm") {
            std::printf("%-44s %7s %7s %8.0f %8.0f\n", "prewarmed", "", "", words.value(1).toDouble(), words.value(2).toDouble());
        } else if (words.value(0) == "screen" && words.size() == 8) {
            const int pass = words[1].toInt();
            const size_t index = words[2].toULongLong();
            const CharacterErrors errors{words[3].toLongLong(), words[4].toLongLong()};
            errorsOfPass[pass] += errors;
            secondsOfPass[pass] += words[5].toDouble();
            peakOfPass[pass] = std::max(peakOfPass[pass], words[7].toDouble());
            const QString name = index < screens.size() ? screens[index].name() : QString();
            if (pass == 0 && errors.rate() > worst) {
                worst = errors.rate();
                worstName = name;
            }
            std::printf("%d %-42s %6.1f%% %7.2f %8.0f %8.0f\n", pass + 1, qPrintable(name), 100 * errors.rate(), words[5].toDouble(),
                        words[6].toDouble(), words[7].toDouble());
        }
    }
    for (const auto &[pass, errors] : errorsOfPass)
        std::printf("pass %d: peak %.0f MB, error %.1f%%, %.2f s a screen\n", pass + 1, peakOfPass[pass], 100 * errors.rate(),
                    secondsOfPass[pass] / double(std::max<size_t>(1, screens.size())));
    std::printf("peak of the process %.0f MB; worst screen %.1f%% (%s)\n", childPeak, 100 * worst, qPrintable(worstName));
    return 0;
}

} // namespace ManyScreens
