#include "Platform/Speech/internal/WhisperModelFile.h"

#include <QFile>
#include <QtEndian>

namespace Platform::detail {

namespace {

// The header of the multilingual models is under 1 MiB; the bound only keeps a damaged count
// from walking far.
constexpr qint64 maxHeaderBytes = 16LL << 20;

class Cursor {
public:
    explicit Cursor(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    // The next 32-bit little-endian value, or nothing past the end.
    std::optional<qint64> next(bool isSigned = true)
    {
        if (m_at + 4 > m_bytes.size())
            return std::nullopt;
        const auto *p = reinterpret_cast<const uchar *>(m_bytes.constData() + m_at);
        m_at += 4;
        return isSigned ? qint64(qFromLittleEndian<qint32>(p)) : qint64(qFromLittleEndian<quint32>(p));
    }
    bool skip(qint64 bytes)
    {
        if (bytes < 0 || bytes > m_bytes.size() - m_at)
            return false;
        m_at += bytes;
        return true;
    }
    qint64 position() const { return m_at; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

bool within(const std::optional<qint64> &value, qint64 low, qint64 high)
{
    return value && *value >= low && *value <= high;
}

} // namespace

std::optional<QString> whisperModelFault(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const qint64 size = file.size();
    Cursor cursor(file.read(maxHeaderBytes));
    if (cursor.next(false) != qint64(0x67676d6c))
        return QStringLiteral("not a whisper model (no magic number)");
    // n_vocab, n_audio_ctx, n_audio_state, n_audio_head, n_audio_layer, n_text_ctx,
    // n_text_state, n_text_head, n_text_layer, n_mels, ftype
    const qint64 limits[11][2] = {{1, 1 << 20}, {1, 1 << 16}, {1, 1 << 14}, {1, 256}, {1, 256}, {1, 1 << 16},
                                  {1, 1 << 14}, {1, 256},     {1, 256},     {1, 1024}, {0, 1 << 20}};
    for (const auto &limit : limits)
        if (!within(cursor.next(), limit[0], limit[1]))
            return QStringLiteral("damaged hyperparameters");
    const std::optional<qint64> mels = cursor.next();
    const std::optional<qint64> fft = cursor.next();
    if (!within(mels, 1, 1024) || !within(fft, 1, 1 << 16) || !cursor.skip(*mels * *fft * 4))
        return QStringLiteral("damaged mel filters");
    const std::optional<qint64> tokens = cursor.next();
    if (!within(tokens, 0, 1 << 20))
        return QStringLiteral("damaged vocabulary");
    for (qint64 i = 0; i < *tokens; ++i) {
        const std::optional<qint64> length = cursor.next(false);
        if (!within(length, 0, 1 << 16) || !cursor.skip(*length))
            return QStringLiteral("damaged vocabulary");
    }
    // The weights follow: at least one tensor's header (dimensions, name length, type).
    if (size - cursor.position() < 12)
        return QStringLiteral("no weights");
    return std::nullopt;
}

} // namespace Platform::detail
