#pragma once
// The frame every verification runner shares: the assertion, the window picture that is also
// a check that the window drew itself, and the way a standalone runner takes its folder and
// ends the process.
//
// A standalone runner works in the run's folder (PrototypeVerification::evidenceFolder(), which
// main() checked or made before launch). It first removes the records it is about to write, so
// that no earlier pass survives a failed run. Every record is written through the private-file
// helpers, never through a symbolic link at its name. A failure writes
// {"status":"failed","error":...} to its result record ("summary.json" unless the runner names
// another), one line on standard error and ends the process with status 1; a pass writes the runner's pass record and ends it with status 0.
// Neither goes through the application's termination.
//
// Main thread only.

#include "KivaroCore/EvidenceFolder.h"
#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <exception>

class QWidget;

namespace Kivaro::PrototypeVerification {

// Throws ShotError "断言失败：" + `message` when `condition` is false.
void require(bool condition, const QString &message);

// Writes the PNG of the window that holds `view` at twice its size in points, rendered into a
// transparent image, and prints "SCREENSHOT: <path>". Throws ShotError "原生窗口不存在" without
// a window, "找不到当前应用窗口" when the window is not on the screen, "窗口截图编码失败" when
// no PNG comes out, the write's error, and "断言失败：native-canvas-visible" (after writing)
// unless the picture's centre pixel is opaque (alpha above 0.9) and drawsSomething(view).
void snapshot(QWidget *view, const QString &path);
// The same once the event loop has turned, so that what was just shown or changed has drawn.
Platform::Task<void> snapshotAfterEvents(QWidget *view, QString path);

// Whether `view` (the content view when it is a KivaroWindow) draws anything itself: rendered
// with its children but without any window background into a transparent image at twice its
// size, some pixel is opaque (alpha above 0.9). A window's background (Qt's, or the one a
// KivaroWindow paints behind its content) is opaque whatever the content drew, so the
// picture's own centre cannot tell a window whose content paints nothing.
bool drawsSomething(QWidget *view);

// The description of an error as a failure line shows it.
QString describe(std::exception_ptr error);

class StandaloneRun final {
public:
    // `prefix`: the standard-error prefix ("Visibility verification failed: ").
    // `records`: the names this runner writes, removed now from the folder.
    // `result`: the name of its pass and failure record.
    StandaloneRun(QString prefix, const QStringList &records, QString result = QStringLiteral("summary.json"));

    // The run's folder; empty when there is none (the first check fails then).
    const QString &folder() const { return m_folder; }
    QString path(const QString &name) const;
    // Throws ShotError when there is no folder; otherwise returns it.
    const QString &requireFolder() const;

    // Writes one evidence file; throws ShotError with the write's error.
    void write(const QString &name, const QByteArray &bytes) const;

    // Writes `record` to the result record and ends the process with status 0; a failed write
    // takes the failure path instead.
    [[noreturn]] void pass(const QByteArray &record) const;
    // The failure record, the standard-error line and status 1.
    [[noreturn]] void fail(std::exception_ptr error) const;
    [[noreturn]] void fail(const QString &description) const;
    // The same with the runner's own failure record, written as it stands (best effort).
    [[noreturn]] void fail(const QString &description, const QByteArray &record) const;

    // Flushes standard output and error and ends the process at once.
    [[noreturn]] static void end(int status);

private:
    QString m_prefix;
    QString m_folder;
    QString m_result;
};

} // namespace Kivaro::PrototypeVerification
