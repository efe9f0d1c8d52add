#include "Platform/Audio/AudioRecorder.h"

#include "Platform/Audio/WavFile.h"

#include <QAudioSource>
#include <QMediaDevices>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

namespace Platform {

namespace {

QAudioFormat recordingFormat()
{
    QAudioFormat format;
    format.setSampleRate(AudioRecorder::sampleRate);
    format.setChannelCount(AudioRecorder::channels);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

} // namespace

AudioRecorder::AudioRecorder(QString path, QAudioDevice device, QObject *parent)
    : QObject(parent), m_path(std::move(path)), m_device(std::move(device))
{
}

QAudioDevice AudioRecorder::defaultInput()
{
    return QMediaDevices::defaultAudioInput();
}

AudioRecorder::~AudioRecorder()
{
    stop();
}

bool AudioRecorder::prepareToRecord()
{
    if (m_file.isOpen())
        return true;
    const QAudioDevice &device = m_device;
    if (device.isNull()) {
        m_error = QStringLiteral("no audio input device");
        return false;
    }
    const QAudioFormat format = recordingFormat();
    if (!device.isFormatSupported(format)) {
        m_error = QStringLiteral("the audio input cannot record 48 kHz mono 16-bit");
        return false;
    }
    // A new file only: an existing name or a link planted in its place is refused.
    const QByteArray native = QFile::encodeName(m_path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_error = m_file.errorString();
        return false;
    }
    if (m_file.write(wavHeader(sampleRate, channels, 0)) != 44) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    m_source = std::make_unique<QAudioSource>(device, format);
    // Short periods keep the meter lively and the limit exact to a few milliseconds.
    m_source->setBufferSize(sampleRate * 2 / 10);
    // The input runs from here on, its audio dropped until record(): opening a stream can
    // take a noticeable time (over a second on some servers), which a press must not wait for.
    m_input = m_source->start();
    if (!m_input || m_source->error() != QAudio::NoError) {
        m_error = QStringLiteral("the audio input refused to start");
        m_input = nullptr;
        m_source.reset();
        m_file.close();
        return false;
    }
    connect(m_input, &QIODevice::readyRead, this, &AudioRecorder::readAvailable);
    return true;
}

bool AudioRecorder::record(double maxSeconds)
{
    if (!m_file.isOpen() || !m_source || m_recording || m_reachedLimit)
        return false;
    if (!m_input || m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState) {
        m_error = QStringLiteral("the audio input has stopped");
        return false;
    }
    m_sampleLimit = std::max<qint64>(0, qint64(std::llround(maxSeconds * sampleRate)));
    readAvailable(); // what was heard before the press is dropped
    m_recording = true;
    return true;
}

QByteArray AudioRecorder::readInput()
{
    // The stream's device may report nothing available yet hold data: read in blocks.
    QByteArray bytes;
    char block[16384];
    qint64 n = 0;
    while (m_input && (n = m_input->read(block, sizeof block)) > 0)
        bytes.append(block, qsizetype(n));
    return bytes;
}

void AudioRecorder::readAvailable()
{
    if (!m_input)
        return;
    const QByteArray bytes = readInput();
    if (!m_recording)
        return;
    const qint64 available = bytes.size() / 2;
    const qint64 take = std::min(available, m_sampleLimit - m_samplesWritten);
    if (take > 0) {
        m_file.write(bytes.constData(), take * 2);
        m_samplesWritten += take;
        int16_t block[4096];
        const qint64 n = std::min<qint64>(take, 4096);
        std::memcpy(block, bytes.constData() + (take - n) * 2, size_t(n) * 2);
        m_averagePower = rmsDecibels(block, size_t(n));
    }
    if (m_samplesWritten >= m_sampleLimit) {
        m_reachedLimit = true;
        m_recording = false;
        m_input->disconnect(this);
        m_input = nullptr;
        m_source->stop();
        finishFile();
        QMetaObject::invokeMethod(this, &AudioRecorder::limitReached, Qt::QueuedConnection);
    }
}

void AudioRecorder::stop()
{
    if (m_recording && m_input)
        readAvailable();
    if (m_input)
        m_input->disconnect(this);
    m_recording = false;
    m_input = nullptr;
    if (m_source)
        m_source->stop();
    finishFile();
}

void AudioRecorder::finishFile()
{
    if (!m_file.isOpen())
        return;
    const qint64 bytes = m_samplesWritten * 2;
    if (m_file.seek(0))
        m_file.write(wavHeader(sampleRate, channels, uint32_t(bytes)));
    m_file.close();
}

} // namespace Platform
