#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"

#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/VerificationRun.h"
#include "KivaroCore/VoiceTiming.h"

#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Audio/AudioRecorder.h"
#include "Platform/Audio/FixturePlayer.h"
#include "Platform/Audio/WavFile.h"
#include "Platform/Files/OwnedFolder.h"
#include "Platform/Files/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

using namespace Platform;

namespace Kivaro {

namespace {

const QString folderPrefix = QStringLiteral("kivaro-audio-");

void removeQuietly(const QString &path)
{
    if (!path.isEmpty())
        QFile::remove(path);
}

[[noreturn]] void throwSpeechError(const SpeechError &error)
{
    switch (error.kind()) {
    case SpeechError::Kind::unsupported:
        throw ShotError::message(kivaroCopy("此设备或语言暂不支持本地语音识别，可使用文字标注。"));
    case SpeechError::Kind::download:
        throw ShotError::message(kivaroCopy("语音模型下载失败，请检查网络后重试。"));
    case SpeechError::Kind::unreachable:
        throw ShotError::message(kivaroCopy("这种语言需要语音模型，但无法连接下载服务器，模型未能下载。可使用文字标注。"));
    case SpeechError::Kind::digest:
        throw ShotError::message(kivaroCopy("下载的语音模型校验不符，已删除。"));
    case SpeechError::Kind::tooLarge:
        throw ShotError::message(kivaroCopy("语音模型超过了大小上限，已停止下载。"));
    case SpeechError::Kind::storage:
        throw ShotError::message(kivaroCopy("无法保存语音模型。"));
    case SpeechError::Kind::load:
        throw ShotError::message(kivaroCopy("无法载入语音模型。"));
    case SpeechError::Kind::unreadable:
        throw ShotError::message(kivaroCopy("无法读取录音文件。"));
    case SpeechError::Kind::failed:
        break;
    }
    throw ShotError::message(kivaroCopy("语音识别失败，请重试。"));
}

} // namespace

OnDeviceVoiceAnnotation::OnDeviceVoiceAnnotation() : OnDeviceVoiceAnnotation(Options()) {}

namespace {
// A verification run reads a speech model the user installed but never installs one: it writes
// nothing into the user's own folders. Its XDG_DATA_HOME lies in the run's folder, so the
// default model folder is looked up in the user's own data folder instead.
OnDeviceVoiceAnnotation::Options forThisRun(OnDeviceVoiceAnnotation::Options options)
{
    if (PrototypeVerification::isVerificationRun()) {
        options.speech.allowDownload = false;
        if (options.speech.modelFolder == speechModelFolder())
            options.speech.modelFolder = PrototypeVerification::userDataHome() + QStringLiteral("/kivaro/speech");
    }
    return options;
}
} // namespace

OnDeviceVoiceAnnotation::OnDeviceVoiceAnnotation(Options options, QObject *parent)
    : QObject(parent), m_options(forThisRun(std::move(options))), m_speech(m_options.speech), m_readyTimer(new QTimer(this))
{
    m_readyTimer->setSingleShot(true);
    connect(m_readyTimer, &QTimer::timeout, this, &OnDeviceVoiceAnnotation::releaseInput);
    if (!m_options.inputDevice)
        m_options.inputDevice = &AudioRecorder::defaultInput;
    if (!m_options.microphoneAccess)
        m_options.microphoneAccess = [] { return true; };
    if (m_options.temporaryFolder.isEmpty())
        m_options.temporaryFolder = QDir::tempPath();
    m_recordingDirectory = m_options.temporaryFolder + QLatin1Char('/') + folderPrefix
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

OnDeviceVoiceAnnotation::~OnDeviceVoiceAnnotation()
{
    // Files stay: only cancel() and the failure paths delete them.
    m_limitTask.cancel();
    if (m_recorder)
        m_recorder->stop();
}

Task<void> OnDeviceVoiceAnnotation::prepare(QString identifier, bool microphone)
{
    QPointer<OnDeviceVoiceAnnotation> self(this);
    if (microphone && !m_options.microphoneAccess())
        throw ShotError::message(kivaroCopy("麦克风权限未开启。可在系统设置中开启，或使用文字标注。"));
    const QString supported = SpeechRecognizer::supportedLocale(identifier);
    if (supported.isEmpty())
        throw ShotError::message(kivaroCopy("此设备或语言暂不支持本地语音识别，可使用文字标注。"));
    ModelInstaller::Progress progress;
    if (installProgress)
        progress = installProgress;
    m_preparationRetryable = true;
    std::optional<SpeechError> failure;
    try {
        co_await m_speech.prepare(identifier, progress);
    } catch (const SpeechError &error) {
        failure = error;
    }
    if (!self)
        throw CancellationError();
    if (failure) {
        m_preparationRetryable = failure->kind() != SpeechError::Kind::unreachable;
        throwSpeechError(*failure);
    }
    m_preparedLocale = supported;
    co_await checkCancellation();
    if (microphone)
        warmRecorder();
}

std::unique_ptr<AudioRecorder> OnDeviceVoiceAnnotation::makeRecorder(const QString &path)
{
    return std::make_unique<AudioRecorder>(path, m_options.inputDevice());
}

std::optional<QString> OnDeviceVoiceAnnotation::holdRecordingFolder()
{
    const QByteArray native = QFile::encodeName(m_recordingDirectory);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        m_heldFolder.reset(); // gone (or never made): made, and held, anew
        QString error;
        m_heldFolder = OwnedFolder::create(m_recordingDirectory, &error);
        return m_heldFolder ? std::nullopt : std::optional<QString>(error);
    }
    if (!m_heldFolder || S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return QStringLiteral("%1 is not a folder of this engine").arg(m_recordingDirectory);
    return std::nullopt;
}

void OnDeviceVoiceAnnotation::warmRecorder()
{
    releaseInput();
    if (const auto error = holdRecordingFolder())
        throw ShotError::message(*error);
    const QString path = m_recordingDirectory + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
        + QStringLiteral(".wav");
    std::unique_ptr<AudioRecorder> recorder = makeRecorder(path);
    if (!recorder->prepareToRecord()) {
        recorder.reset();
        removeQuietly(path);
        throw ShotError::message(kivaroCopy("无法准备麦克风，请检查音频输入设备。"));
    }
    m_readyRecorder = std::move(recorder);
    m_readyURL = path;
    m_readyTimer->start(std::chrono::milliseconds(std::llround(m_options.readyInputSeconds * 1000)));
}

void OnDeviceVoiceAnnotation::releaseInput()
{
    m_readyTimer->stop();
    m_readyRecorder.reset();
    removeQuietly(m_readyURL);
    m_readyURL.clear();
}

void OnDeviceVoiceAnnotation::begin()
{
    if (!m_preparedLocale)
        throw ShotError::message(kivaroCopy("请先点击“启用语音”，完成本地语音准备。"));
    if (m_recorder)
        return;
    discardRetry();
    trace(QStringLiteral("begin"));
    if (!m_readyRecorder)
        warmRecorder(); // throws when no recorder can be warmed
    if (!m_readyRecorder || m_readyURL.isEmpty())
        throw ShotError::message(kivaroCopy("无法准备麦克风，请检查音频输入设备。"));
    m_readyTimer->stop();
    std::unique_ptr<AudioRecorder> recorder = std::move(m_readyRecorder);
    const QString path = m_readyURL;
    m_readyURL.clear();
    trace(QStringLiteral("prepared"));
    // The recorder itself stops writing at the limit, whoever reacts to it.
    if (!recorder->record(m_options.maximumSeconds)) {
        recorder.reset();
        removeQuietly(path);
        throw ShotError::message(kivaroCopy("无法开始录音，请检查麦克风。"));
    }
    m_recorder = std::move(recorder);
    m_recordingURL = path;
    m_startedAt = std::chrono::steady_clock::now();
    trace(QStringLiteral("recording"));

    const QStringList arguments = PrototypeVerification::processArguments();
    const qsizetype flag = arguments.indexOf(QStringLiteral("--acoustic-fixture"));
    if (flag >= 0 && flag + 1 < arguments.size()) {
        m_fixturePlayer = FixturePlayer::open(arguments.at(flag + 1));
        if (m_fixturePlayer && !m_fixturePlayer->play())
            m_fixturePlayer.reset();
    }
    m_limitTask = start(limit(QPointer<OnDeviceVoiceAnnotation>(this), m_options.maximumSeconds), this);
}

Task<void> OnDeviceVoiceAnnotation::limit(QPointer<OnDeviceVoiceAnnotation> self, double seconds)
{
    co_await sleepSeconds(seconds);
    if (self && self->didReachLimit)
        self->didReachLimit();
}

void OnDeviceVoiceAnnotation::stopRecording()
{
    if (m_recorder)
        m_recorder->stop();
    if (m_fixturePlayer)
        m_fixturePlayer->stop();
    m_fixturePlayer.reset();
    m_limitTask.cancel();
    m_limitTask = {};
    m_startedAt.reset();
    m_recorder.reset();
}

Task<QString> OnDeviceVoiceAnnotation::finish()
{
    if (!m_recorder || m_recordingURL.isEmpty() || !m_preparedLocale)
        throw ShotError::message(kivaroCopy("没有正在进行的录音。"));
    const double elapsed = m_startedAt
        ? std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_startedAt).count()
        : 0.0;
    const double duration = std::min(m_options.maximumSeconds, std::max(m_recorder->currentTime(), elapsed));
    trace(QStringLiteral("finish"), duration);
    const QString path = m_recordingURL;
    stopRecording();
    m_recordingURL.clear();
    if (duration < minimumSeconds) {
        removeQuietly(path);
        throw ShotError::message(kivaroCopy("录音太短，请按住位置再说一句话。"));
    }
    co_return co_await completeRecording(path, *m_preparedLocale);
}

Task<QString> OnDeviceVoiceAnnotation::completeRecording(QString path, QString locale)
{
    discardRetry();
    m_retryURL = path;
    m_retryLocale = locale;
    co_return co_await retry();
}

Task<QString> OnDeviceVoiceAnnotation::retry()
{
    if (m_retryURL.isEmpty() || m_retryLocale.isEmpty())
        throw ShotError::message(kivaroCopy("没有可重试的录音。"));
    QPointer<OnDeviceVoiceAnnotation> self(this);
    const QString path = m_retryURL;
    const QString locale = m_retryLocale;
    QString text;
    if (transcribeRecording)
        text = co_await transcribeRecording(path, locale);
    else
        text = co_await transcribe(path, locale);
    co_await checkCancellation();
    if (self)
        self->discardRetry();
    co_return text;
}

Task<QString> OnDeviceVoiceAnnotation::transcribe(QString path, QString locale)
{
    std::optional<SpeechError> failure;
    QString text;
    try {
        text = co_await m_speech.transcribe(path, locale);
    } catch (const SpeechError &error) {
        failure = error;
    }
    if (failure)
        throwSpeechError(*failure);
    co_await checkCancellation();
    text = text.trimmed();
    if (text.isEmpty())
        throw ShotError::message(kivaroCopy("没有识别到语音，请重试或输入文字。"));
    co_return text;
}

void OnDeviceVoiceAnnotation::discardRetry()
{
    removeQuietly(m_retryURL);
    m_retryURL.clear();
    m_retryLocale.clear();
}

void OnDeviceVoiceAnnotation::cancel()
{
    // The trace says what was cancelled: a note being recorded or transcribed, or a kept one.
    const bool cancelsANote = m_recorder || !m_recordingURL.isEmpty() || !m_retryURL.isEmpty();
    discardRetry();
    if (cancelsANote)
        trace(QStringLiteral("cancel"));
    stopRecording();
    removeQuietly(m_recordingURL);
    m_recordingURL.clear();
    releaseInput();
    // Never through a link: a link in the folder's place is removed, not followed.
    if (isSymbolicLink(m_recordingDirectory))
        QFile::remove(m_recordingDirectory);
    else
        QDir(m_recordingDirectory).removeRecursively();
    m_heldFolder.reset();
}

double OnDeviceVoiceAnnotation::level()
{
    if (!m_recorder)
        return 0.0;
    return meterLevel(m_recorder->averagePower());
}

void OnDeviceVoiceAnnotation::trace(const QString &action, double duration)
{
    VoiceTiming::record(action, duration); // failures are ignored
}

void removeLeftoverRecordingFolders(const QString &temporaryFolder)
{
    const QDir folder(temporaryFolder.isEmpty() ? QDir::tempPath() : temporaryFolder);
    const QStringList names = folder.entryList({folderPrefix + QLatin1Char('*')},
                                               QDir::Dirs | QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (QUuid::fromString(name.mid(folderPrefix.size())).isNull())
            continue;
        const QString path = folder.filePath(name);
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || info.st_uid != ::getuid())
            continue;
        if (S_ISLNK(info.st_mode))
            QFile::remove(path);
        else if (S_ISDIR(info.st_mode) && !OwnedFolder::isInUse(path))
            QDir(path).removeRecursively();
    }
}

} // namespace Kivaro
