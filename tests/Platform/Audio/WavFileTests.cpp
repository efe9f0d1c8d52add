#include "Platform/Audio/WavFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Platform;

namespace {

QByteArray wavOf(const std::vector<int16_t> &samples, int rate = 48000, int channels = 1)
{
    QByteArray bytes = wavHeader(rate, channels, uint32_t(samples.size() * 2));
    bytes.append(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size() * 2));
    return bytes;
}

} // namespace

TEST(WavFile, HeaderAndSamplesReadBack)
{
    const std::vector<int16_t> samples{0, 1000, -1000, 32767, -32768};
    const QByteArray bytes = wavOf(samples);
    ASSERT_EQ(bytes.size(), 44 + 10);
    QString error;
    const auto audio = parseWav(bytes, &error);
    ASSERT_TRUE(audio) << error.toStdString();
    EXPECT_EQ(audio->sampleRate, 48000);
    EXPECT_EQ(audio->channels, 1);
    EXPECT_EQ(audio->samples, samples);
}

TEST(WavFile, RefusesWhatIsNotSixteenBitPcmAndTakesWhatATruncatedFileHas)
{
    QByteArray bytes = wavOf({1, 2, 3, 4});
    QByteArray floats = bytes;
    floats[20] = 3; // IEEE float
    EXPECT_FALSE(parseWav(floats));
    QByteArray eightBit = bytes;
    eightBit[34] = 8;
    EXPECT_FALSE(parseWav(eightBit));
    EXPECT_FALSE(parseWav(QByteArrayLiteral("RIFF\0\0\0\0WAVE")));
    EXPECT_FALSE(parseWav(QByteArray("not audio")));
    // A chunk claiming 4 GiB ends the walk instead of running past the buffer.
    QByteArray huge = bytes.left(36) + QByteArray("LIST\xff\xff\xff\xff", 8);
    EXPECT_FALSE(parseWav(huge));
    // A recording cut short keeps the samples it has.
    const auto cut = parseWav(bytes.left(44 + 5));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->samples.size(), 2u);
}

TEST(AudioLevel, RmsInDecibelsIsClampedSoSilenceGivesNoNaN)
{
    const std::vector<int16_t> silence(480, 0);
    EXPECT_EQ(rmsDecibels(silence.data(), silence.size()), -160.0);
    EXPECT_EQ(rmsDecibels(nullptr, 0), -160.0);
    const std::vector<int16_t> full(480, -32768);
    EXPECT_NEAR(rmsDecibels(full.data(), full.size()), 0.0, 1e-9);
    std::vector<int16_t> tenth(480, 3277);
    EXPECT_NEAR(rmsDecibels(tenth.data(), tenth.size()), -20.0, 0.01);

    EXPECT_DOUBLE_EQ(meterLevel(0), 1.0);
    EXPECT_NEAR(meterLevel(-30), 0.1, 1e-12);
    EXPECT_NEAR(meterLevel(-60), 0.01, 1e-12);
    for (double power : {-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(), -500.0}) {
        const double level = meterLevel(power);
        EXPECT_FALSE(std::isnan(level));
        EXPECT_NEAR(level, std::pow(10.0, -160.0 / 30.0), 1e-12);
    }
    EXPECT_DOUBLE_EQ(meterLevel(12.0), 1.0);
}

namespace {

// One second of a tone at 48 kHz, in 16-bit samples, two channels carrying the same signal.
PcmAudio toneAt48k(double frequency, double amplitude)
{
    PcmAudio audio;
    audio.sampleRate = 48000;
    audio.channels = 2;
    for (int i = 0; i < 48000; ++i) {
        const auto s = int16_t(std::lround(std::sin(2 * M_PI * frequency * i / 48000.0 + 0.3) * amplitude * 32767));
        audio.samples.push_back(s);
        audio.samples.push_back(s);
    }
    return audio;
}

// Level in dBFS of the samples away from both ends (the filter's start and end).
double middleLevel(const std::vector<float> &samples)
{
    double sum = 0;
    size_t count = 0;
    for (size_t i = samples.size() / 10; i < samples.size() * 9 / 10; ++i, ++count)
        sum += double(samples[i]) * samples[i];
    return count ? 10 * std::log10(std::max(sum / double(count), 1e-30)) : -300;
}

} // namespace

// 48 kHz recordings go to the recognisers at 16 kHz: what lies above 8 kHz must be filtered
// away, not folded down into the speech band, while speech frequencies keep their level.
TEST(Resampling, RemovesWhatLiesAboveTheNewNyquistFrequencyAndKeepsTheSpeechBand)
{
    const double amplitude = 0.5;
    const double toneLevel = 20 * std::log10(amplitude / std::sqrt(2.0));

    const std::vector<float> speech = monoFloat(toneAt48k(1000, amplitude), 16000);
    EXPECT_EQ(speech.size(), 16000u);
    EXPECT_NEAR(middleLevel(speech), toneLevel, 0.1);

    const std::vector<float> hiss = monoFloat(toneAt48k(12000, amplitude), 16000);
    EXPECT_EQ(hiss.size(), 16000u);
    EXPECT_LT(middleLevel(hiss), toneLevel - 40) << "a 12 kHz tone folds to 4 kHz";

    // The same rate comes back as it was, mixed to mono.
    const std::vector<float> same = monoFloat(toneAt48k(1000, amplitude), 48000);
    ASSERT_EQ(same.size(), 48000u);
    EXPECT_FLOAT_EQ(same[100], float(std::lround(std::sin(2 * M_PI * 1000 * 100 / 48000.0 + 0.3) * amplitude * 32767)) / 32768.0f);
}
