#include "Platform/Audio/FixturePlayer.h"

#include "Platform/Audio/WavFile.h"

#include <QAudioSink>
#include <QMediaDevices>

namespace Platform {

std::unique_ptr<FixturePlayer> FixturePlayer::open(const QString &path)
{
    std::optional<PcmAudio> audio = readWav(path);
    if (!audio)
        return nullptr;
    QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return nullptr;
    QAudioFormat format;
    format.setSampleRate(audio->sampleRate);
    format.setChannelCount(audio->channels);
    format.setSampleFormat(QAudioFormat::Int16);
    std::unique_ptr<FixturePlayer> player(new FixturePlayer);
    player->m_pcm = QByteArray(reinterpret_cast<const char *>(audio->samples.data()),
                               qsizetype(audio->samples.size() * 2));
    player->m_buffer.setData(player->m_pcm);
    player->m_sink = std::make_unique<QAudioSink>(device, format);
    return player;
}

FixturePlayer::~FixturePlayer()
{
    stop();
}

bool FixturePlayer::play()
{
    m_buffer.close();
    if (!m_buffer.open(QIODevice::ReadOnly))
        return false;
    m_sink->start(&m_buffer);
    return m_sink->error() == QAudio::NoError;
}

void FixturePlayer::stop()
{
    if (m_sink)
        m_sink->stop();
    m_buffer.close();
}

bool FixturePlayer::isPlaying() const
{
    return m_sink && m_sink->state() == QAudio::ActiveState;
}

} // namespace Platform
