// What the full suite's records are made of, decided without a display: the two summaries, the
// word a speech file must contain, and the texts of the checks.

#include "Kivaro/verification/AnnotationToolsVerification.h"
#include "Kivaro/verification/BasicWorkflowVerification.h"
#include "Kivaro/verification/PrivacyVerification.h"
#include "Kivaro/verification/PrototypeSuite.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/VerificationChecks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace Kivaro::PrototypeVerification;

namespace {

TEST(PrototypeSuiteRecords, ThePassingSummaryHasEightSortedKeysAndReportsWhatWasMeasured)
{
    const QStringList checks{QStringLiteral("一"), QStringLiteral("二")};
    const QByteArray bytes = passingSummary(checks, true, false);
    EXPECT_EQ(bytes,
              QByteArray("{\n"
                         "    \"checks\": [\n"
                         "        \"一\",\n"
                         "        \"二\"\n"
                         "    ],\n"
                         "    \"environment\": \"native-linux\",\n"
                         "    \"microphoneVerified\": false,\n"
                         "    \"minimumOS\": \"Debian 12 / Qt 6.4\",\n"
                         "    \"realMouseInteractionVerified\": false,\n"
                         "    \"screenRecordingPermission\": false,\n"
                         "    \"speechFixture\": true,\n"
                         "    \"status\": \"passed\"\n"
                         "}\n"));
    const QJsonObject other = QJsonDocument::fromJson(passingSummary({}, false, true)).object();
    EXPECT_EQ(other.value(QStringLiteral("speechFixture")), QJsonValue(false));
    EXPECT_EQ(other.value(QStringLiteral("screenRecordingPermission")), QJsonValue(true));
    EXPECT_EQ(other.size(), 8);
}

TEST(PrototypeSuiteRecords, TheFailedSummaryHoldsTheChecksSoFarAndTheError)
{
    const QJsonObject failed = QJsonDocument::fromJson(failedSummary({QStringLiteral("一")}, QStringLiteral("断言失败：undo"))).object();
    EXPECT_EQ(failed, (QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")},
                                   {QStringLiteral("checks"), QJsonArray{QStringLiteral("一")}},
                                   {QStringLiteral("error"), QStringLiteral("断言失败：undo")}}));
    EXPECT_TRUE(failedSummary({}, QStringLiteral("x")).contains("\"checks\": [\n    ]")) << "an empty list, pretty printed";
}

TEST(PrototypeSuiteRecords, OnlyTheExactMandarinLocaleExpectsTheChineseWord)
{
    EXPECT_EQ(expectedWord(QStringLiteral("zh-CN")), QStringLiteral("保存"));
    for (const char *other : {"en-US", "zh-Hans", "zh_CN", "zh-cn", ""})
        EXPECT_EQ(expectedWord(QString::fromLatin1(other)), QStringLiteral("save")) << other;
}

// The results name this system's own pieces: no framework of another platform, no nearby
// transfer that this desktop does not have.
TEST(PrototypeSuiteRecords, NoCheckTextClaimsAnotherPlatformsServices)
{
    namespace Check = SuiteCheck;
    for (const char *text : {Check::startUp, Check::syntheticText, Check::speechFixture, Check::arrowAndBubble, Check::undoRedo,
                             Check::projectRoundTrip, Check::exportAndPasteboard, Check::captureWorkflow, Check::textRecognition,
                             Check::voiceRetry, Check::smallWindow, Check::sharing, Check::annotationTools, Check::voiceInteraction,
                             Check::updater, Check::captureCompletion, Check::shortcuts, Check::contentAppearance}) {
        const QString check = QString::fromUtf8(text);
        for (const char *foreign : {"AirDrop", "PaperKit", "SpeechAnalyzer", "Vision", "Dock"})
            EXPECT_FALSE(check.contains(QLatin1String(foreign))) << text;
    }
    EXPECT_TRUE(suiteRecords().contains(QStringLiteral("summary.json")));
    EXPECT_TRUE(suiteRecords().contains(QStringLiteral("capture-completion-result.json")));
}

// The fixed records of the runs say what this system does: events posted to its own windows,
// and no nearby transfer it does not have. Their lengths are checked where they are defined.
TEST(PrototypeSuiteRecords, NoResultNamesAnotherPlatformsFrameworkOrTransfer)
{
    for (const char *text : {Kivaro::AnnotationToolsVerification::resultRecord, Kivaro::PrivacyVerification::passSummary,
                             Kivaro::BasicWorkflowVerification::limitation}) {
        const QString record = QString::fromUtf8(text);
        for (const char *foreign : {"appKit", "AppKit", "AirDrop"})
            EXPECT_FALSE(record.contains(QLatin1String(foreign))) << text;
    }
    EXPECT_TRUE(QByteArray(Kivaro::AnnotationToolsVerification::resultRecord).contains("\"postedDrag\":true"));
    EXPECT_TRUE(QByteArray(Kivaro::PrivacyVerification::passSummary).contains("\"postedMouseDrag\":true"));
}

// One registry names what each run writes: the suite removes the files of every sub-run it
// awaits, and the session its records and traces.
TEST(PrototypeSuiteRecords, TheSuiteRemovesEverySubRunsFilesAndTheSessionItsTraces)
{
    using Kivaro::RunRecords::Run;
    for (const Run sub : {Run::appearance, Run::captureWorkflow, Run::textRecognition, Run::voiceRetry, Run::captureImprovements,
                          Run::sharing, Run::menus, Run::annotationTools, Run::voiceInteraction, Run::updatePrompt, Run::updateSettings,
                          Run::captureCompletion, Run::shortcuts})
        for (const QString &name : Kivaro::RunRecords::names(sub))
            EXPECT_TRUE(suiteRecords().contains(name)) << name.toStdString();
    const QStringList session = Kivaro::RunRecords::names(Run::session);
    for (const char *name : {"microphone-check.json", "copy-receipt.json", "pointer-timing.jsonl", "voice-timing.jsonl"})
        EXPECT_TRUE(session.contains(QLatin1String(name))) << name;
}

// An offending text holding a quote or a backslash cannot end its quotes early in a failure
// message: both are written with a backslash before them.
TEST(VerificationMessages, QuotedTextsKeepTheirQuotesAndBackslashes)
{
    using Kivaro::VerificationSupport::arrayNotation;
    EXPECT_EQ(arrayNotation({QStringLiteral("说 \"好\""), QStringLiteral("C:\\路径"), QStringLiteral("两\n行")}),
              QStringLiteral("[\"说 \\\"好\\\"\", \"C:\\\\路径\", \"两\\n行\"]"));
    EXPECT_EQ(arrayNotation({}), QStringLiteral("[]"));
}

} // namespace
