#include "Support/Speech/RandomWhisperModel.h"

#include <QCryptographicHash>
#include <QFile>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace TestSupport {

namespace {

constexpr int vocabulary = 51865; // multilingual
constexpr int textTokens = 50257;
constexpr int endOfText = 50257; // in the multilingual vocabulary
constexpr int audioContext = 1500;
constexpr int textContext = 448;
constexpr int mels = 80;
constexpr int fftBins = 201;

uint16_t toHalf(float value)
{
    // Small weights only: no infinities, subnormals flushed to zero.
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    const int exponent = int((bits >> 23) & 0xFF) - 127 + 15;
    if (exponent <= 0)
        return uint16_t(sign);
    if (exponent >= 31)
        return uint16_t(sign | 0x7BFFu);
    return uint16_t(sign | (uint32_t(exponent) << 10) | ((bits >> 13) & 0x3FFu));
}

class Writer {
public:
    explicit Writer(QFile &file) : m_file(file) {}
    void i32(int32_t v) { m_file.write(reinterpret_cast<const char *>(&v), 4); }
    void u32(uint32_t v) { m_file.write(reinterpret_cast<const char *>(&v), 4); }
    void floats(size_t n, float scale)
    {
        std::vector<float> values(n);
        for (float &v : values)
            v = m_dist(m_rng) * scale;
        write(values, false);
    }
    void write(const std::vector<float> &values, bool half)
    {
        if (!half) {
            m_file.write(reinterpret_cast<const char *>(values.data()), qint64(values.size() * 4));
            return;
        }
        std::vector<uint16_t> halves(values.size());
        for (size_t i = 0; i < values.size(); ++i)
            halves[i] = toHalf(values[i]);
        m_file.write(reinterpret_cast<const char *>(halves.data()), qint64(halves.size() * 2));
    }
    // One tensor: `ne` in ggml's order (fastest dimension first). `shape` may change the
    // random values before they are written.
    void tensor(const std::string &name, std::vector<int> ne, bool half, float scale = 0.05f,
                const std::function<void(std::vector<float> &)> &shape = {})
    {
        i32(int32_t(ne.size()));
        i32(int32_t(name.size()));
        i32(half ? 1 : 0);
        size_t n = 1;
        for (int d : ne) {
            i32(d);
            n *= size_t(d);
        }
        m_file.write(name.data(), qint64(name.size()));
        std::vector<float> values(n);
        for (float &v : values)
            v = m_dist(m_rng) * scale;
        if (shape)
            shape(values);
        write(values, half);
    }

private:
    QFile &m_file;
    std::mt19937 m_rng{20261207};
    std::uniform_real_distribution<float> m_dist{-1.0f, 1.0f};
};

std::string named(const char *pattern, int layer)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, pattern, layer);
    return buffer;
}

} // namespace

bool writeRandomWhisperModel(const QString &path, const WhisperShape &s)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    Writer w(file);
    const bool h = s.halfPrecision;
    w.u32(0x67676d6c); // "ggml"
    for (int v : {vocabulary, audioContext, s.audioState, s.audioHeads, s.audioLayers, textContext, s.textState,
                  s.textHeads, s.textLayers, mels, h ? 1 : 0})
        w.i32(v);
    w.i32(mels);
    w.i32(fftBins);
    w.floats(size_t(mels) * fftBins, 0.01f);
    // The text tokens: the 256 single bytes (the decoder looks up " "), then made-up words.
    // The loader names the special tokens after them itself.
    w.i32(textTokens);
    for (int i = 0; i < textTokens; ++i) {
        const std::string text = i < 256 ? std::string(1, char(i)) : "w" + std::to_string(i);
        w.u32(uint32_t(text.size()));
        file.write(text.data(), qint64(text.size()));
    }

    if (!s.tensors)
        return file.error() == QFileDevice::NoError;
    const int a = s.audioState;
    w.tensor("encoder.positional_embedding", {a, audioContext}, false);
    w.tensor("encoder.conv1.weight", {3, mels, a}, h);
    w.tensor("encoder.conv1.bias", {1, a}, false);
    w.tensor("encoder.conv2.weight", {3, a, a}, h);
    w.tensor("encoder.conv2.bias", {1, a}, false);
    w.tensor("encoder.ln_post.weight", {a}, false);
    w.tensor("encoder.ln_post.bias", {a}, false);
    for (int i = 0; i < s.audioLayers; ++i) {
        w.tensor(named("encoder.blocks.%d.mlp_ln.weight", i), {a}, false);
        w.tensor(named("encoder.blocks.%d.mlp_ln.bias", i), {a}, false);
        w.tensor(named("encoder.blocks.%d.mlp.0.weight", i), {a, 4 * a}, h);
        w.tensor(named("encoder.blocks.%d.mlp.0.bias", i), {4 * a}, false);
        w.tensor(named("encoder.blocks.%d.mlp.2.weight", i), {4 * a, a}, h);
        w.tensor(named("encoder.blocks.%d.mlp.2.bias", i), {a}, false);
        w.tensor(named("encoder.blocks.%d.attn_ln.weight", i), {a}, false);
        w.tensor(named("encoder.blocks.%d.attn_ln.bias", i), {a}, false);
        w.tensor(named("encoder.blocks.%d.attn.query.weight", i), {a, a}, h);
        w.tensor(named("encoder.blocks.%d.attn.query.bias", i), {a}, false);
        w.tensor(named("encoder.blocks.%d.attn.key.weight", i), {a, a}, h);
        w.tensor(named("encoder.blocks.%d.attn.value.weight", i), {a, a}, h);
        w.tensor(named("encoder.blocks.%d.attn.value.bias", i), {a}, false);
        w.tensor(named("encoder.blocks.%d.attn.out.weight", i), {a, a}, h);
        w.tensor(named("encoder.blocks.%d.attn.out.bias", i), {a}, false);
    }
    const int t = s.textState;
    w.tensor("decoder.positional_embedding", {t, textContext}, false);
    // The decoder's last layer norm gives the same vector at every position, and the
    // end-of-text token's embedding points along it: decoding ends at once, so a run takes the
    // time of the encoder and not of hundreds of random tokens.
    w.tensor("decoder.token_embedding.weight", {t, vocabulary}, h, 0.05f, [t](std::vector<float> &v) {
        std::fill(v.begin() + size_t(endOfText) * size_t(t), v.begin() + size_t(endOfText + 1) * size_t(t), 1.0f);
    });
    w.tensor("decoder.ln.weight", {t}, false, 0.0f);
    w.tensor("decoder.ln.bias", {t}, false, 0.0f, [](std::vector<float> &v) { std::fill(v.begin(), v.end(), 1.0f); });
    for (int i = 0; i < s.textLayers; ++i) {
        for (const char *block : {"attn", "cross_attn"}) {
            const std::string prefix = named("decoder.blocks.%d.", i) + block;
            w.tensor(prefix + "_ln.weight", {t}, false);
            w.tensor(prefix + "_ln.bias", {t}, false);
            w.tensor(prefix + ".query.weight", {t, t}, h);
            w.tensor(prefix + ".query.bias", {t}, false);
            w.tensor(prefix + ".key.weight", {t, t}, h);
            w.tensor(prefix + ".value.weight", {t, t}, h);
            w.tensor(prefix + ".value.bias", {t}, false);
            w.tensor(prefix + ".out.weight", {t, t}, h);
            w.tensor(prefix + ".out.bias", {t}, false);
        }
        w.tensor(named("decoder.blocks.%d.mlp_ln.weight", i), {t}, false);
        w.tensor(named("decoder.blocks.%d.mlp_ln.bias", i), {t}, false);
        w.tensor(named("decoder.blocks.%d.mlp.0.weight", i), {t, 4 * t}, h);
        w.tensor(named("decoder.blocks.%d.mlp.0.bias", i), {4 * t}, false);
        w.tensor(named("decoder.blocks.%d.mlp.2.weight", i), {4 * t, t}, h);
        w.tensor(named("decoder.blocks.%d.mlp.2.bias", i), {t}, false);
    }
    return file.error() == QFileDevice::NoError;
}

QByteArray sha1OfFile(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    return hash.result().toHex();
}

} // namespace TestSupport
