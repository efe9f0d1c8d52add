#pragma once
// Polishing recognised text through one call to an OpenAI-compatible chat-completions service.
//
// `polish` checks the configuration, sends exactly one HTTPS POST to "<base>/chat/completions"
// through the given session (no retry, no streaming, redirects never followed) and returns the
// first answer's text, trimmed. Its own refusals are TellumoError in the domain "Tellumo.AI",
// code 1, whose messages (keys looked up where they are shown) are:
//
//   "AI 地址必须是 HTTPS API 根地址。"   the address is not a bare https API root
//   "请先填写模型并保存 API Key。"        the model is blank or the key is empty
//   "API Key 含有控制字符，请重新保存。"  the key holds a control character (it would break the header)
//   "AI 地址无效。"                      no request address can be made
//   "AI 服务请求失败（HTTP %@）。"        any status outside 200-299, redirects included
//   "AI 服务未返回文字。"                 the first answer has no text
//
// Failures of the transfer are TellumoError in the domain "Tellumo.Network" (the code is
// Qt's QNetworkReply::NetworkError): the overall deadline, the idle timeout (never shorter than
// the deadline), an answer longer than the session's cap, and whatever Qt reports, which keeps
// Qt's words as the detail after "无法安全连接到 AI 服务" (a failed TLS handshake) or "无法连接到
// AI 服务". A 2xx body that is not the expected JSON is TellumoError in the domain
// "Tellumo.Decoding" (a parse error keeps the parser's words as the detail). None of the
// messages holds the key or the text.
//
// Cancelling the awaiting task aborts the request and throws Platform::CancellationError.

#include "TellumoCore/PolishingReasoningPolicy.h"
#include "TellumoCore/PolishingSession.h"
#include "TellumoCore/TellumoError.h"

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace Tellumo::TextPolisher {

constexpr const char *errorDomain = "Tellumo.AI";
constexpr const char *networkErrorDomain = "Tellumo.Network";
constexpr const char *decodingErrorDomain = "Tellumo.Decoding";

// `text` and `prompt` are sent unchanged; `baseURL` and `model` are trimmed; the key is only
// checked (not empty, no control characters), never trimmed.
Platform::Task<QString> polish(QString text, QString baseURL, QString model, QString prompt, QString key,
                               std::shared_ptr<PolishingSession> session);

// True when `key` holds a control character (C0, DEL or C1), which would break the request's
// header: such a key is refused, never sent.
bool hasControlCharacter(const QString &key);

// The request body: compact JSON with "model", "messages" (the system prompt, then the user's
// text) and at most the one reasoning field `control` names, in this order.
QByteArray requestBody(const QString &model, const QString &prompt, const QString &text, PolishingReasoningPolicy::Control control);

// The trimmed text of the first answer of a 2xx body. Every element of "choices" must be an
// object whose "message" is an object with an optional string "content"; anything else is a
// "Tellumo.Decoding" error, and a first answer without text is the "Tellumo.AI" no-text error.
QString decodeResponse(const QByteArray &body);

} // namespace Tellumo::TextPolisher
