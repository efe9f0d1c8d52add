#pragma once
// 16-bit PCM WAV files: the header we write in front of a recording, and a bounded reader for
// recordings and fixtures (anything but 16-bit integer PCM is refused).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace Platform {

struct PcmAudio {
    int sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples; // interleaved
    double seconds() const
    {
        return sampleRate > 0 && channels > 0 ? double(samples.size()) / channels / sampleRate : 0.0;
    }
};

// The 44-byte header of a 16-bit PCM WAV file whose sample data is `dataBytes` long.
QByteArray wavHeader(int sampleRate, int channels, uint32_t dataBytes);

// Reads a 16-bit PCM WAV file of at most `maxBytes`. Returns the audio, or an error description
// in `error`.
std::optional<PcmAudio> readWav(const QString &path, QString *error = nullptr, qint64 maxBytes = 64LL << 20);
std::optional<PcmAudio> parseWav(const QByteArray &bytes, QString *error = nullptr);

// Mixes to mono and resamples to `rate` (the speech engines take 16 kHz), as floats in
// [-1, 1]. The resampler low-passes at the lower rate's Nyquist frequency (soxr, high quality):
// sound above it is removed, not folded into the speech band. Empty when resampling fails.
std::vector<float> monoFloat(const PcmAudio &audio, int rate);

// Root mean square of 16-bit samples in dBFS, clamped to [-160, 0] (silence gives -160, never
// minus infinity or NaN).
double rmsDecibels(const int16_t *samples, size_t count);

// A meter level from 0 to 1 for an average power in dBFS: 10^(power / 30), with the power
// clamped to [-160, 0] first.
double meterLevel(double decibels);

} // namespace Platform
