#include "TellumoCore/PolishingReasoningPolicy.h"

#include <QStringList>

#include <array>
#include <initializer_list>

namespace Tellumo::PolishingReasoningPolicy {

namespace {

enum class Provider { deepSeek, openAI, gemini, alibaba, moonshot, anthropic, miniMax, zhipu, openRouter, unknown };

struct ProviderHosts {
    Provider provider;
    std::initializer_list<const char *> hosts;
};

// Tested in this order; the first row that matches decides.
const std::array<ProviderHosts, 9> kProviders = {{
    {Provider::deepSeek, {deepSeekHost}},
    {Provider::openAI, {"api.openai.com"}},
    {Provider::gemini, {"generativelanguage.googleapis.com"}},
    {Provider::alibaba, {"dashscope.aliyuncs.com", "dashscope-intl.aliyuncs.com"}},
    {Provider::moonshot, {"api.moonshot.ai", "api.moonshot.cn"}},
    {Provider::anthropic, {"api.anthropic.com"}},
    {Provider::miniMax, {"api.minimax.io", "api.minimaxi.com"}},
    {Provider::zhipu, {"api.z.ai", "open.bigmodel.cn"}},
    {Provider::openRouter, {"openrouter.ai", "api.openrouter.ai"}},
}};

// Every host under Alibaba's model-service domain belongs to DashScope; the bare domain does not.
constexpr const char *kAlibabaModelServiceSuffix = ".maas.aliyuncs.com";

const std::array<const char *, 6> kGLMModels = {"glm-4.5", "glm-4.6", "glm-4.7", "glm-5", "glm-5.1", "glm-5.2"};

Provider providerOf(const QString &host)
{
    for (const ProviderHosts &row : kProviders) {
        for (const char *candidate : row.hosts)
            if (host == QLatin1String(candidate))
                return row.provider;
        if (row.provider == Provider::alibaba && host.endsWith(QLatin1String(kAlibabaModelServiceSuffix)))
            return row.provider;
    }
    return Provider::unknown;
}

bool has(const QString &name, const char *part)
{
    return name.contains(QLatin1String(part));
}

bool startsWith(const QString &name, const char *prefix)
{
    return name.startsWith(QLatin1String(prefix));
}

bool supportsDeepSeekFastMode(const QString &name)
{
    if (has(name, "vision"))
        return false;
    return name == u"deepseek-flash" || name == u"deepseek-chat" || startsWith(name, "deepseek-v4-flash")
        || startsWith(name, "deepseek-v4-pro");
}

bool supportsOpenAIFastMode(const QString &name)
{
    for (const char *excluded : {"-pro", "-codex", "-chat"})
        if (has(name, excluded))
            return false;
    if (startsWith(name, "gpt-6-sol") || startsWith(name, "gpt-6-luna"))
        return true;
    if (!startsWith(name, "gpt-5."))
        return false;
    // The longest run of numeric characters; any numeral of any script counts towards the run,
    // and only a run that reads as a decimal integer passes.
    const qsizetype start = 6;
    qsizetype end = start;
    while (end < name.size() && name[end].isNumber())
        ++end;
    if (end == start || (end < name.size() && name[end] != u'-'))
        return false;
    bool ok = false;
    const int minor = QStringView(name).sliced(start, end - start).toInt(&ok);
    return ok && minor >= 1 && minor <= 6;
}

bool supportsQwenFastMode(const QString &name)
{
    return startsWith(name, "qwen3") && !has(name, "thinking") && !has(name, "coder");
}

bool supportsKimiFastMode(const QString &name)
{
    return startsWith(name, "kimi-k2.5") && !has(name, "thinking");
}

bool supportsGeminiFastMode(const QString &name)
{
    return startsWith(name, "gemini-2.5-flash") && !has(name, "image");
}

bool supportsGLMFastMode(const QString &name)
{
    for (const char *model : kGLMModels) {
        const QLatin1String entry(model);
        if (name == entry || name.startsWith(entry + u'-'))
            return true;
    }
    return false;
}

bool supportsAlibabaFastMode(const QString &name)
{
    return supportsQwenFastMode(name) || supportsDeepSeekFastMode(name) || supportsKimiFastMode(name) || supportsGLMFastMode(name);
}

// The router names models "vendor/name". Splits at the first "/" that has something before it;
// empty pieces are dropped, as a split that omits empty pieces does.
QStringList routerPieces(const QString &model)
{
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < model.size(); ++i) {
        if (model[i] != u'/')
            continue;
        if (i > start)
            pieces << model.mid(start, i - start);
        start = i + 1;
        if (pieces.size() == 1)
            break;
    }
    if (start < model.size())
        pieces << model.mid(start);
    return pieces;
}

Control routerControl(const QString &model)
{
    const QStringList pieces = routerPieces(model);
    if (pieces.size() != 2)
        return Control::noField;
    const QString &vendor = pieces[0];
    const QString &name = pieces[1];
    bool supported = false;
    if (vendor == u"deepseek")
        supported = supportsDeepSeekFastMode(name);
    else if (vendor == u"openai")
        supported = supportsOpenAIFastMode(name);
    else if (vendor == u"google")
        supported = supportsGeminiFastMode(name);
    else if (vendor == u"qwen" || vendor == u"alibaba")
        supported = supportsQwenFastMode(name);
    else if (vendor == u"moonshotai" || vendor == u"moonshot")
        supported = supportsKimiFastMode(name);
    else if (vendor == u"anthropic")
        supported = name == u"claude-sonnet-5";
    else if (vendor == u"minimax")
        supported = name == u"minimax-m3";
    else if (vendor == u"z-ai")
        supported = supportsGLMFastMode(name);
    return supported ? Control::reasoningDisabled : Control::noField;
}

Control when(bool condition, Control control)
{
    return condition ? control : Control::noField;
}

} // namespace

Control control(const QString &host, const QString &model)
{
    const QString name = model.toLower();
    switch (providerOf(host.toLower())) {
    case Provider::deepSeek:
        return when(supportsDeepSeekFastMode(name), Control::thinkingDisabled);
    case Provider::openAI:
        return when(supportsOpenAIFastMode(name), Control::reasoningEffortNone);
    case Provider::gemini:
        return when(supportsGeminiFastMode(name), Control::reasoningEffortNone);
    case Provider::alibaba:
        if (name == u"minimax-m3")
            return Control::thinkingDisabled;
        return when(supportsAlibabaFastMode(name), Control::enableThinkingFalse);
    case Provider::moonshot:
        return when(supportsKimiFastMode(name), Control::thinkingDisabled);
    case Provider::anthropic:
        return when(name == u"claude-sonnet-5", Control::thinkingDisabled);
    case Provider::miniMax:
        return when(name == u"minimax-m3", Control::thinkingDisabled);
    case Provider::zhipu:
        return when(supportsGLMFastMode(name), Control::thinkingDisabled);
    case Provider::openRouter:
        return routerControl(name);
    case Provider::unknown:
        break;
    }
    return Control::noField;
}

} // namespace Tellumo::PolishingReasoningPolicy
