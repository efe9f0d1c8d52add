#include "Platform/Audio/WavFile.h"

#include <QFile>
#include <QtEndian>

#include <soxr.h>

#include <cstring>

#include <algorithm>
#include <cmath>

namespace Platform {

namespace {

void putU32(QByteArray &out, uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void putU16(QByteArray &out, uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

QByteArray wavHeader(int sampleRate, int channels, uint32_t dataBytes)
{
    QByteArray h;
    h.reserve(44);
    h.append("RIFF", 4);
    putU32(h, dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu : dataBytes + 36);
    h.append("WAVEfmt ", 8);
    putU32(h, 16);
    putU16(h, 1); // integer PCM
    putU16(h, uint16_t(channels));
    putU32(h, uint32_t(sampleRate));
    putU32(h, uint32_t(sampleRate * channels * 2));
    putU16(h, uint16_t(channels * 2));
    putU16(h, 16);
    h.append("data", 4);
    putU32(h, dataBytes);
    return h;
}

std::optional<PcmAudio> parseWav(const QByteArray &bytes, QString *error)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
        fail(error, QStringLiteral("not a WAV file"));
        return std::nullopt;
    }
    PcmAudio audio;
    bool haveFormat = false;
    qsizetype at = 12;
    while (at + 8 <= n) {
        const uint32_t size = qFromLittleEndian<uint32_t>(p + at + 4);
        const qsizetype body = at + 8;
        if (std::memcmp(p + at, "fmt ", 4) == 0) {
            if (size < 16 || body + 16 > n) {
                fail(error, QStringLiteral("truncated format chunk"));
                return std::nullopt;
            }
            const uint16_t format = qFromLittleEndian<uint16_t>(p + body);
            audio.channels = qFromLittleEndian<uint16_t>(p + body + 2);
            audio.sampleRate = int(qFromLittleEndian<uint32_t>(p + body + 4));
            const uint16_t bits = qFromLittleEndian<uint16_t>(p + body + 14);
            if ((format != 1 && format != 0xFFFE) || bits != 16 || audio.channels < 1 || audio.channels > 8
                || audio.sampleRate < 8000 || audio.sampleRate > 192000) {
                fail(error, QStringLiteral("only 16-bit integer PCM is read"));
                return std::nullopt;
            }
            haveFormat = true;
        } else if (std::memcmp(p + at, "data", 4) == 0) {
            if (!haveFormat) {
                fail(error, QStringLiteral("data before format"));
                return std::nullopt;
            }
            // A recording cut short may claim more data than it has: take what is there.
            const qsizetype available = std::min<qsizetype>(qsizetype(size), n - body);
            const qsizetype count = available / 2;
            audio.samples.resize(size_t(count));
            for (qsizetype i = 0; i < count; ++i)
                audio.samples[size_t(i)] = qFromLittleEndian<int16_t>(p + body + 2 * i);
            return audio;
        }
        if (size > uint32_t(n)) // also guards the addition below
            break;
        at = body + qsizetype(size) + (size & 1);
    }
    fail(error, QStringLiteral("no audio data"));
    return std::nullopt;
}

std::optional<PcmAudio> readWav(const QString &path, QString *error, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, file.errorString());
        return std::nullopt;
    }
    if (file.size() > maxBytes) {
        fail(error, QStringLiteral("audio file too large"));
        return std::nullopt;
    }
    return parseWav(file.read(maxBytes), error);
}

std::vector<float> monoFloat(const PcmAudio &audio, int rate)
{
    std::vector<float> out;
    if (audio.channels < 1 || audio.sampleRate < 1 || rate < 1)
        return out;
    const size_t frames = audio.samples.size() / size_t(audio.channels);
    std::vector<float> mono(frames);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (int c = 0; c < audio.channels; ++c)
            sum += audio.samples[f * size_t(audio.channels) + size_t(c)];
        mono[f] = sum / (32768.0f * float(audio.channels));
    }
    if (audio.sampleRate == rate || frames == 0)
        return mono;
    // soxr's high-quality linear-phase filter: everything above the new Nyquist frequency is
    // removed before the rate changes, so that it cannot fold into the band that is kept.
    const size_t outFrames = size_t(std::llround(double(frames) * rate / audio.sampleRate));
    out.resize(outFrames);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    size_t written = 0;
    if (soxr_oneshot(audio.sampleRate, rate, 1, mono.data(), frames, nullptr, out.data(), outFrames, &written, &io,
                     &quality, &runtime)
        != nullptr)
        return {};
    out.resize(written);
    return out;
}

double rmsDecibels(const int16_t *samples, size_t count)
{
    if (count == 0)
        return -160.0;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const double s = samples[i] / 32768.0;
        sum += s * s;
    }
    const double rms = std::sqrt(sum / double(count));
    if (!(rms > 0))
        return -160.0;
    return std::clamp(20.0 * std::log10(rms), -160.0, 0.0);
}

double meterLevel(double decibels)
{
    if (std::isnan(decibels))
        decibels = -160.0;
    return std::min(1.0, std::pow(10.0, std::clamp(decibels, -160.0, 0.0) / 30.0));
}

} // namespace Platform
