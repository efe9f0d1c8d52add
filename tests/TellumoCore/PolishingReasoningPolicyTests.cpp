#include "TellumoCore/PolishingReasoningPolicy.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace Tellumo::PolishingReasoningPolicy;

namespace {

struct Case {
    const char *host;
    const char *model;
    Control expected;
};

void expectAll(std::initializer_list<Case> cases)
{
    for (const Case &c : cases)
        EXPECT_EQ(control(QString::fromUtf8(c.host), QString::fromUtf8(c.model)), c.expected) << c.host << " " << c.model;
}

} // namespace

TEST(PolishingReasoningPolicy, DeepSeekFastModelsIgnoringLetterCase)
{
    expectAll({
        {"api.deepseek.com", "deepseek-v4-flash", Control::thinkingDisabled},
        {"API.DeepSeek.com", "DeepSeek-Chat", Control::thinkingDisabled},
        {"api.deepseek.com", "deepseek-flash", Control::thinkingDisabled},
        {"api.deepseek.com", "deepseek-v4-pro-0601", Control::thinkingDisabled},
        {"api.deepseek.com", "deepseek-v4-flash-vision", Control::noField},
        {"api.deepseek.com", "deepseek-reasoner", Control::noField},
    });
}

TEST(PolishingReasoningPolicy, OpenAIMinorVersionsOneToSixOnly)
{
    expectAll({
        {"api.openai.com", "gpt-5.2", Control::reasoningEffortNone},
        {"api.openai.com", "gpt-5.6-mini", Control::reasoningEffortNone},
        {"api.openai.com", "gpt-5.0002", Control::reasoningEffortNone},
        {"api.openai.com", "gpt-5", Control::noField},
        {"api.openai.com", "gpt-5.", Control::noField},
        {"api.openai.com", "gpt-5.0", Control::noField},
        {"api.openai.com", "gpt-5.7", Control::noField},
        {"api.openai.com", "gpt-5.10", Control::noField},
        {"api.openai.com", "gpt-5.99999999999999999999", Control::noField},
        {"api.openai.com", "gpt-5.2o", Control::noField},
        {"api.openai.com", "gpt-5.2٣", Control::noField},
        {"api.openai.com", "gpt-5.2-pro", Control::noField},
        {"api.openai.com", "gpt-5.1-codex", Control::noField},
        {"api.openai.com", "gpt-5.1-chat-latest", Control::noField},
        {"api.openai.com", "gpt-6-sol", Control::reasoningEffortNone},
        {"api.openai.com", "gpt-6-luna-mini", Control::reasoningEffortNone},
        {"api.openai.com", "gpt-6-sol-pro", Control::noField},
    });
}

TEST(PolishingReasoningPolicy, GeminiAlibabaMoonshotAnthropicMiniMaxAndZhipu)
{
    expectAll({
        {"generativelanguage.googleapis.com", "gemini-2.5-flash-lite", Control::reasoningEffortNone},
        {"generativelanguage.googleapis.com", "gemini-2.5-flash-image", Control::noField},
        {"generativelanguage.googleapis.com", "gemini-2.5-pro", Control::noField},
        {"dashscope.aliyuncs.com", "qwen3-max", Control::enableThinkingFalse},
        {"dashscope-intl.aliyuncs.com", "qwen3-coder-plus", Control::noField},
        {"dashscope.aliyuncs.com", "qwen3-235b-thinking", Control::noField},
        {"ws-1.maas.aliyuncs.com", "deepseek-chat", Control::enableThinkingFalse},
        {"dashscope.aliyuncs.com", "kimi-k2.5", Control::enableThinkingFalse},
        {"dashscope.aliyuncs.com", "glm-4.5-air", Control::enableThinkingFalse},
        {"dashscope.aliyuncs.com", "minimax-m3", Control::thinkingDisabled},
        {"maas.aliyuncs.com", "qwen3-max", Control::noField},
        {"api.moonshot.cn", "kimi-k2.5-preview", Control::thinkingDisabled},
        {"api.moonshot.ai", "kimi-k2.5-thinking", Control::noField},
        {"api.anthropic.com", "claude-sonnet-5", Control::thinkingDisabled},
        {"api.anthropic.com", "claude-sonnet-5-latest", Control::noField},
        {"api.minimaxi.com", "MiniMax-M3", Control::thinkingDisabled},
        {"open.bigmodel.cn", "glm-4.6", Control::thinkingDisabled},
        {"api.z.ai", "glm-5-turbo", Control::thinkingDisabled},
        {"api.z.ai", "glm-4.5v", Control::noField},
        {"api.z.ai", "glm-4", Control::noField},
    });
}

TEST(PolishingReasoningPolicy, RouterSplitsVendorAndNameAtTheFirstSlash)
{
    expectAll({
        {"openrouter.ai", "openai/gpt-5.2", Control::reasoningDisabled},
        {"api.openrouter.ai", "z-ai/glm-4.6", Control::reasoningDisabled},
        {"openrouter.ai", "qwen/qwen3-max", Control::reasoningDisabled},
        {"openrouter.ai", "anthropic/claude-sonnet-5", Control::reasoningDisabled},
        {"openrouter.ai", "//deepseek/deepseek-chat", Control::reasoningDisabled},
        {"openrouter.ai", "gpt-5.2", Control::noField},
        {"openrouter.ai", "/gpt-5.2", Control::noField},
        {"openrouter.ai", "openai/", Control::noField},
        {"openrouter.ai", "openai//gpt-5.2", Control::noField},
        {"openrouter.ai", "moonshotai/kimi-k2.5-thinking", Control::noField},
        {"openrouter.ai", "meta/llama-4", Control::noField},
    });
}

TEST(PolishingReasoningPolicy, UnknownHostsGetAPlainRequest)
{
    expectAll({
        {"", "deepseek-chat", Control::noField},
        {"127.0.0.1", "deepseek-chat", Control::noField},
        {"api.deepseek.com.example.org", "deepseek-chat", Control::noField},
        {"deepseek.com", "deepseek-chat", Control::noField},
    });
}
