#pragma once
// The full verification suite ("--verify" with no scenario flag): one long run on the
// application's own editor that checks start-up, reopening, the empty and sample documents, a
// loaded picture, the locked base image, a linked note with undo and redo, element text with a
// project round trip, the PNG export and a private pasteboard, then awaits the sub-runs of the
// other scenarios one after another in a fixed order and ends the process.
//
// A pass writes "summary.json" (the passing summary below), prints "Kivaro verification passed:
// <folder>" and exits with status 0. The first failure anywhere writes the failed summary
// ({"status":"failed","checks":[the descriptions so far],"error":...}), releases the private
// pasteboard, writes "Kivaro verification failed: <error>" on standard error and exits with 1.
// The records the suite and its sub-runs write are removed from the folder before anything
// runs, so that no earlier pass survives a failure.
//
// Main thread only.

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace Platform {
class PrivatePasteboard;
}

namespace Kivaro {
class EditorController;
}

namespace Kivaro::PrototypeVerification {

inline constexpr char suiteFailurePrefix[] = "Kivaro verification failed: ";
inline constexpr char suitePassPrefix[] = "Kivaro verification passed: ";

// The descriptions appended to "checks" as each group passes.
namespace SuiteCheck {
inline constexpr char startUp[] = "启动与重新打开（单实例移交）只显示设置、空文档与合成示例不写入历史、载入图片才显示标注窗口、底图锁定";
inline constexpr char syntheticText[] = "使用合成文字；本次未验证麦克风及语音识别";
inline constexpr char speechFixture[] = "whisper.cpp/pocketsphinx 本地转写合成音频，包含 "; // + the expected word
inline constexpr char arrowAndBubble[] = "指定位置生成标注画布箭头与可编辑文字气泡";
inline constexpr char undoRedo[] = "标注撤销、重做";
inline constexpr char projectRoundTrip[] = "元素文字修改，工程保存与重新读取";
inline constexpr char exportAndPasteboard[] = "原始像素尺寸 PNG 导出，独立剪贴板写入";
inline constexpr char captureWorkflow[] = "气泡移动联动、重新指向、关联持久化、马赛克遮挡、最近截图恢复";
inline constexpr char textRecognition[] = "共享 Tesseract 中英文识字、复制文字、遮挡后识字、空结果保留剪贴板、共享 AI 设置窗口";
inline constexpr char voiceRetry[] = "识别失败保留录音、重试 whisper.cpp 本地识别成功、成功和取消删除录音、录音和失败反馈窗口";
inline constexpr char smallWindow[] = "最小窗口布局";
inline constexpr char sharing[] = "截图、历史与 OCR 统一分享，实际菜单含指定接收方、完整马赛克 PNG、文本文件及取消清理";
inline constexpr char annotationTools[] = "悬浮文字标注、新建与修改、位置跟随；箭头、矩形、椭圆拖拽与导出、撤销重做和工程恢复";
inline constexpr char voiceInteraction[] = "语音模式常驻引导、失败改用文字保留位置、取消回到就绪、自绘画笔工程与撤销";
inline constexpr char updater[] = "共享更新器配置、自动检查默认关闭、启停持久化、更新设置浅色与暗色";
inline constexpr char captureCompletion[] = "截图后默认复制且不打开标注、四种开关组合、独立持久化、关闭复制保留剪贴板";
inline constexpr char shortcuts[] = "快捷键设置、持久化、冲突保留旧键、停用及原生设置窗口";
inline constexpr char contentAppearance[] = "暗色设置页、编辑器、录音与重试浮层、共享 AI 设置；浅深色实时切换且导出图片不变";
} // namespace SuiteCheck

// The text of the note without a speech file, and the text the element edit gives it.
inline constexpr char syntheticNote[] = "点击保存没有反应，预期应该保存并关闭窗口。";
inline constexpr char editedNote[] = "保存按钮没有响应。";

// The word a transcription of the speech file must contain: "保存" for the locale "zh-CN"
// exactly, "save" for any other.
QString expectedWord(const QString &locale);

// The files the suite and its sub-runs write (RunRecords::Run::suite); removed before a run.
const QStringList &suiteRecords();

// The passing summary: eight keys, sorted, pretty printed.
QByteArray passingSummary(const QStringList &checks, bool speechFixture, bool screenRecordingPermission);
// The failed summary: "status", "checks" and "error", pretty printed.
QByteArray failedSummary(const QStringList &checks, const QString &error);

// Never returns: the process ends with the suite.
Platform::Task<void> run(EditorController *editor);

namespace detail {

// What the suite's phases share.
struct SuiteRun {
    EditorController *editor = nullptr;
    QString output;
    QStringList checks;
    // Made for the pasteboard check; released on the failure path.
    std::shared_ptr<Platform::PrivatePasteboard> pasteboard;

    QString path(const QString &name) const;
};

// Start-up and documents, up to "01-editor.png".
Platform::Task<void> startUp(SuiteRun &run);
// The locked image, the note, undo and redo.
Platform::Task<void> annotation(SuiteRun &run);
// From "02-annotated.png" to the last sub-run.
Platform::Task<void> secondHalf(SuiteRun &run);

} // namespace detail

} // namespace Kivaro::PrototypeVerification
