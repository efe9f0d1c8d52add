#include "Support/Speech/SpokenFixtures.h"

#include "Platform/Audio/WavFile.h"

#include <QFile>

#include <cmath>
#include <cstring>

namespace TestSupport {

namespace {

bool writeWav(const QString &path, const std::vector<int16_t> &samples)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(Platform::wavHeader(48000, 1, uint32_t(samples.size() * 2)));
    file.write(reinterpret_cast<const char *>(samples.data()), qint64(samples.size() * 2));
    return file.error() == QFileDevice::NoError;
}

} // namespace

std::optional<std::vector<int16_t>> goForwardSamples()
{
    QFile file(QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    std::vector<int16_t> samples(size_t(bytes.size() / 2));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

bool writeGoForwardWav(const QString &path, double leadingSilence, double trailingSilence)
{
    const auto source = goForwardSamples();
    if (!source)
        return false;
    std::vector<int16_t> out(size_t(leadingSilence * 48000), 0);
    // 16 kHz to 48 kHz: linear interpolation between neighbours.
    for (size_t i = 0; i < source->size(); ++i) {
        const double a = (*source)[i];
        const double b = i + 1 < source->size() ? (*source)[i + 1] : a;
        for (int k = 0; k < 3; ++k)
            out.push_back(int16_t(std::lround(a + (b - a) * k / 3.0)));
    }
    out.resize(out.size() + size_t(trailingSilence * 48000), 0);
    return writeWav(path, out);
}

bool writeToneWav(const QString &path, double seconds, double frequency, double amplitude)
{
    std::vector<int16_t> out(size_t(seconds * 48000));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(std::lround(std::sin(2 * M_PI * frequency * double(i) / 48000) * amplitude * 32767));
    return writeWav(path, out);
}

} // namespace TestSupport
