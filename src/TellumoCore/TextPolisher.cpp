#include "TellumoCore/TextPolisher.h"

#include "Platform/Async/Awaitables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

namespace Tellumo::TextPolisher {

namespace {

using PolishingReasoningPolicy::Control;

TellumoError failure(const QString &key, QList<QVariant> arguments = {})
{
    return TellumoError(QString::fromLatin1(errorDomain), 1, key, std::move(arguments));
}

TellumoError addressFailure()
{
    return failure(tellumoKey("AI 地址必须是 HTTPS API 根地址。"));
}

TellumoError decodingFailure(int code, const QString &key, QList<QVariant> arguments = {}, QString detail = {})
{
    return TellumoError(QString::fromLatin1(decodingErrorDomain), code, key, std::move(arguments), std::move(detail));
}

TellumoError networkFailure(QNetworkReply::NetworkError code, const QString &key, QList<QVariant> arguments = {}, QString detail = {})
{
    return TellumoError(QString::fromLatin1(networkErrorDomain), int(code), key, std::move(arguments), std::move(detail));
}

TellumoError httpFailure(int status)
{
    return failure(tellumoKey("AI 服务请求失败（HTTP %@）。"), {QString::number(status)});
}

// What Qt reports about a transfer, after a sentence of ours that says what it concerns.
TellumoError transferFailure(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError code = reply.error();
    const bool secure = code == QNetworkReply::SslHandshakeFailedError;
    return networkFailure(code, secure ? tellumoKey("无法安全连接到 AI 服务") : tellumoKey("无法连接到 AI 服务"), {}, reply.errorString());
}

// The API root as typed, checked: https exactly as written, a host, no user name or password,
// no query and no fragment (a bare "?" or "#" counts).
QUrl apiRoot(const QString &baseURL)
{
    const QString typed = baseURL.trimmed();
    const QUrl url(typed, QUrl::StrictMode);
    // QUrl lower-cases the scheme it parses; the scheme must be written in lower case.
    if (!url.isValid() || url.scheme().isEmpty() || !typed.startsWith(QLatin1String("https:")) || url.host().isEmpty())
        throw addressFailure();
    // QUrl drops an empty user name ("https://@host"), so the authority is looked at as typed.
    const QString afterScheme = typed.mid(6);
    const QString authority = afterScheme.startsWith(QLatin1String("//")) ? afterScheme.mid(2).section(QRegularExpression(QStringLiteral("[/?#]")), 0, 0)
                                                                           : QString();
    if (!url.userInfo().isEmpty() || authority.contains(u'@'))
        throw addressFailure();
    if (url.hasQuery() || url.hasFragment())
        throw addressFailure();
    return url;
}

// "<path without slashes at its ends>/chat/completions", always absolute.
QUrl chatCompletions(QUrl root)
{
    QString path = root.path(QUrl::FullyEncoded);
    qsizetype start = 0, end = path.size();
    while (start < end && path[start] == u'/')
        ++start;
    while (end > start && path[end - 1] == u'/')
        --end;
    path = path.mid(start, end - start) + QStringLiteral("/chat/completions");
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    root.setPath(path, QUrl::TolerantMode);
    if (!root.isValid())
        throw failure(tellumoKey("AI 地址无效。"));
    return root;
}

void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += byte;
            }
        }
    }
    out += '"';
}

QString describeSeconds(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0, 'g', 6);
}

// What happened to one transfer besides what the reply reports.
struct Transfer {
    QByteArray body;
    bool tooLarge = false;
    bool pastDeadline = false;
    bool silent = false; // the idle timeout ended it
    int refusedStatus = 0; // a status outside 2xx seen in the headers
    bool ended = false; // aborted from here
};

// The one way this file ends a transfer: at most once, and never once Qt has reported the
// reply's error or end (Qt then reports an error a second time). `reason`, when given, is set
// when it is this call that ends the transfer.
void endTransfer(QNetworkReply *reply, Transfer &transfer, bool Transfer::*reason = nullptr)
{
    if (transfer.ended || reply->isFinished() || reply->error() != QNetworkReply::NoError)
        return;
    transfer.ended = true;
    if (reason)
        transfer.*reason = true;
    reply->abort();
}

// Moves what the reply has buffered into the body, aborting once it passes the cap.
void drain(QNetworkReply *reply, Transfer &transfer, qint64 cap)
{
    while (!transfer.tooLarge && transfer.refusedStatus == 0 && reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(std::min<qint64>(reply->bytesAvailable(), 64 * 1024));
        if (chunk.isEmpty())
            break;
        if (transfer.body.size() + chunk.size() > cap) {
            transfer.tooLarge = true;
            transfer.body.clear();
            endTransfer(reply, transfer);
            return;
        }
        transfer.body += chunk;
    }
}

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

// Deletes the reply later whichever way the request ends, never while it is awaited.
struct ReplyRelease {
    QPointer<QNetworkReply> reply;
    ~ReplyRelease()
    {
        if (reply) {
            reply->disconnect();
            reply->deleteLater();
        }
    }
};

} // namespace

bool hasControlCharacter(const QString &key)
{
    for (const QChar c : key)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

QByteArray requestBody(const QString &model, const QString &prompt, const QString &text, Control control)
{
    QByteArray out;
    out.reserve(64 + prompt.size() * 3 + text.size() * 3);
    out += "{\"model\":";
    appendJsonString(out, model);
    out += ",\"messages\":[{\"role\":\"system\",\"content\":";
    appendJsonString(out, prompt);
    out += "},{\"role\":\"user\",\"content\":";
    appendJsonString(out, text);
    out += "}]";
    switch (control) {
    case Control::thinkingDisabled:
        out += ",\"thinking\":{\"type\":\"disabled\"}";
        break;
    case Control::enableThinkingFalse:
        out += ",\"enable_thinking\":false";
        break;
    case Control::reasoningEffortNone:
        out += ",\"reasoning_effort\":\"none\"";
        break;
    case Control::reasoningDisabled:
        out += ",\"reasoning\":{\"enabled\":false}";
        break;
    case Control::noField:
        break;
    }
    out += '}';
    return out;
}

QString decodeResponse(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw decodingFailure(1, tellumoKey("AI 服务的应答不是有效的 JSON（第 %@ 字节）"), {QString::number(error.offset)}, error.errorString());
    if (!document.isObject())
        throw decodingFailure(2, tellumoKey("AI 服务的应答不是 JSON 对象。"));
    const QJsonValue choices = document.object().value(QLatin1String("choices"));
    if (!choices.isArray())
        throw decodingFailure(3, choices.isUndefined() ? tellumoKey("AI 服务的应答缺少 choices。") : tellumoKey("AI 服务应答中的 choices 不是数组。"));
    const QJsonArray answers = choices.toArray();
    // Every answer must be well formed, although only the first one is used.
    for (qsizetype i = 0; i < answers.size(); ++i) {
        const QJsonValue message = answers.at(i).toObject().value(QLatin1String("message"));
        if (!answers.at(i).isObject() || !message.isObject())
            throw decodingFailure(4, tellumoKey("AI 服务应答中的第 %@ 个回答缺少 message。"), {QString::number(i + 1)});
        const QJsonValue content = message.toObject().value(QLatin1String("content"));
        if (!content.isUndefined() && !content.isNull() && !content.isString())
            throw decodingFailure(5, tellumoKey("AI 服务应答中的第 %@ 个回答的 content 不是文字。"), {QString::number(i + 1)});
    }
    const QString text = answers.isEmpty() ? QString() : answers.at(0)["message"]["content"].toString().trimmed();
    if (text.isEmpty())
        throw failure(tellumoKey("AI 服务未返回文字。"));
    return text;
}

Platform::Task<QString> polish(QString text, QString baseURL, QString model, QString prompt, QString key,
                               std::shared_ptr<PolishingSession> session)
{
    const QUrl root = apiRoot(baseURL);
    const QString trimmedModel = model.trimmed();
    if (trimmedModel.isEmpty() || key.isEmpty())
        throw failure(tellumoKey("请先填写模型并保存 API Key。"));
    if (hasControlCharacter(key))
        throw failure(tellumoKey("API Key 含有控制字符，请重新保存。"));
    const QUrl address = chatCompletions(root);
    const PolishingSession::Limits limits = session->limits();

    QNetworkRequest request(address);
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    request.setRawHeader("Content-Type", "application/json");
    // Qt decompresses answers it asked to be compressed, before the cap could see their size.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setSslConfiguration(session->tlsConfiguration());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(0); // the idle timeout below, which never undercuts the deadline

    const QByteArray body = requestBody(trimmedModel, prompt, text, PolishingReasoningPolicy::control(address.host(), trimmedModel));
    QNetworkReply *reply = session->manager()->post(request, body);
    ReplyRelease release{reply};
    reply->setReadBufferSize(256 * 1024);

    auto transfer = std::make_shared<Transfer>();
    const qint64 cap = limits.maxResponseBytes;
    // Aborting inside this signal makes Qt report the reply's end twice (it is still handling the
    // status, for example a 401's authentication); the abort is queued instead, and nothing more
    // is read meanwhile.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, transfer, cap] {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (status.isValid() && !isSuccess(status.toInt()))
            transfer->refusedStatus = status.toInt(); // nothing of a refused answer is used
        else if (length.isValid() && length.toLongLong() > cap)
            transfer->tooLarge = true;
        else
            return;
        QMetaObject::invokeMethod(reply, [reply, transfer] { endTransfer(reply, *transfer); }, Qt::QueuedConnection);
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, transfer, cap] { drain(reply, *transfer, cap); });

    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, reply, [reply, transfer] { endTransfer(reply, *transfer, &Transfer::pastDeadline); });
    deadline.start(limits.deadline);
    // Started after the deadline and restarted by every sign of life, so with an idle timeout
    // no shorter than the deadline it never fires first.
    QTimer idle;
    idle.setSingleShot(true);
    idle.setTimerType(Qt::PreciseTimer);
    QObject::connect(&idle, &QTimer::timeout, reply, [reply, transfer] { endTransfer(reply, *transfer, &Transfer::silent); });
    const auto alive = [&idle] { idle.start(); };
    QObject::connect(reply, &QNetworkReply::uploadProgress, &idle, alive);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &idle, alive);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &idle, alive);
    idle.start(limits.idleTimeout);

    QPointer<QNetworkReply> guard(reply);
    auto finished = Platform::signal(reply, &QNetworkReply::finished, [guard, transfer] {
        if (guard)
            endTransfer(guard, *transfer);
    });
    if (!reply->isFinished())
        co_await finished;
    deadline.stop();
    idle.stop();

    if (transfer->pastDeadline)
        throw networkFailure(QNetworkReply::TimeoutError, tellumoKey("AI 服务没有在 %@ 秒内完成应答。"), {describeSeconds(limits.deadline)});
    if (!transfer->tooLarge && reply->error() == QNetworkReply::NoError)
        drain(reply, *transfer, cap);
    if (transfer->tooLarge)
        throw networkFailure(QNetworkReply::UnknownContentError, tellumoKey("AI 服务的应答超过 %@ 字节，已中止。"), {QString::number(cap)});
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (transfer->refusedStatus != 0)
        throw httpFailure(transfer->refusedStatus);
    if (status.isValid() && !isSuccess(status.toInt()))
        throw httpFailure(status.toInt());
    if (transfer->silent)
        throw networkFailure(QNetworkReply::TimeoutError, tellumoKey("AI 服务超过 %@ 秒没有传来数据。"), {describeSeconds(limits.idleTimeout)});
    if (reply->error() != QNetworkReply::NoError)
        throw transferFailure(*reply);
    if (!status.isValid())
        throw httpFailure(0);
    co_return decodeResponse(transfer->body);
}

} // namespace Tellumo::TextPolisher
