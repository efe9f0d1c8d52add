#pragma once
// Which request field, if any, switches a chat-completions model's reasoning phase off.
//
// Services that can skip reasoning each take a different field; `control` recognises the
// provider by the API host and the model by its name, both compared in lower case, and answers
// `noField` for every combination it does not know, so an unknown service always receives a
// plain request. Pure and thread-safe.

#include <QString>

namespace Tellumo::PolishingReasoningPolicy {

enum class Control {
    thinkingDisabled,    // "thinking": {"type": "disabled"}
    enableThinkingFalse, // "enable_thinking": false
    reasoningEffortNone, // "reasoning_effort": "none"
    reasoningDisabled,   // "reasoning": {"enabled": false}
    noField,
};

// `host`: the request's host, empty when the address has none; `model`: the trimmed model name.
Control control(const QString &host, const QString &model);

// The host of the default service address, which gets `thinkingDisabled` for its fast models.
constexpr const char *deepSeekHost = "api.deepseek.com";

} // namespace Tellumo::PolishingReasoningPolicy
