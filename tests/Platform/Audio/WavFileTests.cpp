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
