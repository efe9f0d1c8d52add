#include "Kivaro/verification/RunRecords.h"

#include "Kivaro/verification/CaptureImprovementsVerification.h"
#include "Kivaro/verification/CaptureSelectionVerification.h"
#include "KivaroCore/PointerTrace.h"
#include "KivaroCore/VoiceTiming.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace Kivaro::RunRecords {

namespace {

QStringList list(std::initializer_list<const char *> names)
{
    QStringList result;
    for (const char *name : names)
        result.append(QString::fromUtf8(name));
    return result;
}

// "<prefix>light.png" and "<prefix>dark.png".
QStringList lightAndDark(const char *prefix)
{
    return {QString::fromUtf8(prefix) + QStringLiteral("light.png"), QString::fromUtf8(prefix) + QStringLiteral("dark.png")};
}

const Run subRuns[] = {Run::appearance,  Run::captureWorkflow, Run::textRecognition, Run::voiceRetry,
                       Run::captureImprovements, Run::sharing, Run::menus,           Run::annotationTools,
                       Run::voiceInteraction, Run::updatePrompt, Run::updateSettings, Run::captureCompletion,
                       Run::shortcuts};

} // namespace

QStringList names(Run run)
{
    switch (run) {
    case Run::visibility:
        return list({"summary.json", "settings-reopened.png"});
    case Run::quitDuringCapture:
        return list({"summary.json"});
    case Run::basicWorkflow:
        return list({"summary.json", "settings-error.png", "broken.kivaro", "oversized.kivaro", "edge-mosaic.png"});
    case Run::icon:
        return list({"summary.json", "icon-light.png", "icon-dark.png"});
    case Run::inlineCapture:
        return list({"summary.json", "inline-before.png", "inline-export.png", "inline-annotated.png", "inline-text-panel.png"});
    case Run::annotationToolsAlone:
        return list({"summary.json"}) + names(Run::annotationTools);
    case Run::privacy:
        return list({"summary.json", "before.png", "privacy-editor.png", "mosaic.png", "privacy.kivaro"});
    case Run::localization:
        return list({"summary.json", "settings-light.png", "settings-dark.png", "ai-settings-dark.png"});
    case Run::captureSelection: {
        QStringList names = list({"summary.json"});
        for (const QString &picture : CaptureSelectionVerification::pictureNames())
            names.append(picture + QStringLiteral(".png"));
        return names;
    }
    case Run::captureLive:
        return list({"capture-live.json", "captured-window.png", "captured-region.png", "cancel-footer-window.png",
                     "cancel-footer-region.png", "live-captured-editor.png"});
    case Run::publishedUpdate:
        return list({"summary.json", "published-update.json"}) + lightAndDark("installed-update-");
    case Run::session:
        return list({"process.pid", "ui-baseline.png", "microphone-check.json", "copy-receipt.json", detail::PointerTrace::kFileName,
                     VoiceTiming::kFileName});
    case Run::suite: {
        QStringList names = list({"summary.json", "00-startup-settings.png", "01-editor.png", "02-annotated.png", "03-export.png",
                                  "04-small-window.png", "roundtrip.kivaro"});
        for (const Run sub : subRuns)
            names.append(RunRecords::names(sub));
        return names;
    }
    case Run::appearance:
        return list({"11-dark-settings.png", "12-dark-editor.png", "13-dark-recording.png", "14-dark-retry.png",
                     "15-dark-ai-settings.png", "16-light-restored.png"});
    case Run::captureWorkflow:
        return list({"05-redacted.png", "linked-and-masked.kivaro"});
    case Run::textRecognition:
        return list({"before-ocr.kivaro", "synthetic-ocr.txt", "synthetic-ocr.png", "07-ocr-redacted.png", "08-tellumo-settings.png"});
    case Run::voiceRetry:
        return list({"09-recording-feedback.png", "10-retry-feedback.png"});
    case Run::captureImprovements:
        return CaptureImprovementsVerification::evidenceNames();
    case Run::sharing:
        return list({"sharing-result.json", "share-picker-state.json", "share-menu.png", "share-menu-dark.png",
                     "share-history-menu.png", "share-ocr-menu.png"})
            + lightAndDark("share-editor-") + lightAndDark("share-history-") + lightAndDark("share-ocr-");
    case Run::menus:
        return list({"menus-result.json"}) + lightAndDark("menu-grain-") + lightAndDark("menu-tools-");
    case Run::annotationTools:
        return list({"annotation-tools-result.json", "drawing-tools-before-undo.png", "drawing-tools-export.png", "drawing-tools.png",
                     "numbered-steps.kivaro", "numbered-steps.png", "numbered-steps-export.png"})
            + lightAndDark("floating-text-");
    case Run::voiceInteraction: {
        QStringList names = list({"voice-interaction-result.json"});
        for (const char *phase : {"ready", "preparing", "recording", "processing", "failed"})
            names += lightAndDark(QByteArray(QByteArray("voice-") + phase + '-').constData());
        return names;
    }
    case Run::updatePrompt:
        return list({"custom-update-prompt-result.json"}) + lightAndDark("custom-update-prompt-");
    case Run::updateSettings:
        return lightAndDark("update-settings-");
    case Run::captureCompletion:
        return list({"capture-completion-result.json"}) + lightAndDark("capture-completion-settings-");
    case Run::shortcuts:
        return list({"two-shortcuts-result.json", "06-shortcut-settings.png"}) + lightAndDark("two-shortcuts-");
    }
    return {};
}

void remove(const QString &folder, const QStringList &names)
{
    if (folder.isEmpty())
        return;
    const QDir dir(folder);
    for (const QString &name : names)
        ::unlink(QFile::encodeName(dir.filePath(name)).constData());
}

} // namespace Kivaro::RunRecords
