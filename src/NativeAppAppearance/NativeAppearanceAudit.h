#pragma once
// The kit's self-check of light and dark appearance. Started with "--verify-dark-theme" where an
// application hands it scenes (named functions that build and return a window), it cycles the
// application through the phases "light", "dark" and "light-restored"; in each phase it shows
// every scene's window, checks that the window really took the phase's appearance, and captures
// it as a PNG from the window's own rendering, at twice its size in points. For the first scene
// it also opens the bound status menu (NativeStatusMenu) from a small anchor, captures the
// popover and closes it with Escape. It writes "summary.json" into the evidence folder
// ("--evidence-dir", else "/tmp/native-appearance-audit-<pid>") and ends the process: normally
// when it passed, with status 1 after one line on standard error when it failed.
//
// `run` is the audit itself, without ending the process; `runIfRequested` wraps it.

#include "Platform/Async/Task.h"
#include "Platform/Defaults/UserDefaults.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QWidget;

namespace NativeAppAppearance {

class NativeAppearanceAudit final {
public:
    struct Scene {
        Scene(QString name, std::function<Platform::Task<QWidget *>()> show) : name(std::move(name)), show(std::move(show)) {}
        QString name;
        std::function<Platform::Task<QWidget *>()> show;
    };
    struct Capture {
        QString scene;
        QString scheme;
        QString screenshot;
        int width = 0;
        int height = 0;
    };
    struct Options {
        QString evidenceFolder;
        std::chrono::milliseconds settle{500};
        std::chrono::milliseconds menuSettle{300};
        std::chrono::milliseconds restoreSettle{200};
    };
    struct Result {
        bool passed = false;
        QList<Capture> captures;
        QString error;
    };

    static constexpr const char *flag = "--verify-dark-theme";

    static bool requested();
    static bool requested(const QStringList &arguments);
    // The preferences the application should use: a private suite "appearance-audit-<pid>" while
    // auditing, so an audit never touches the user's settings; the standard domain otherwise.
    static Platform::UserDefaults defaults();
    static QString evidenceFolder(const QStringList &arguments);

    // False, doing nothing, without the flag. Otherwise starts the audit and returns true; the
    // audit ends the process when done.
    static bool runIfRequested(QList<Scene> scenes);
    static Platform::Task<Result> run(QList<Scene> scenes, Options options);

    // A ready-made scene "error-dialog": an alert with "操作未完成", an explanation and the
    // buttons "重试" and "取消", built but not run.
    static Scene errorScene();
    // Scrolls the first scroll area of `window` (depth first) to its top or bottom.
    static void scroll(QWidget *window, bool toBottom);
    // `window` drawn by itself at twice its size in points into a transparent image (pixel ratio
    // 2), its background included: what its pixels are, whatever lies under it on the screen.
    static QImage render(QWidget *window);
    // Renders `window` at twice its size in points into a PNG at `path`; returns the image size.
    // Throws std::runtime_error on failure.
    static QSize capture(QWidget *window, const QString &path);

    NativeAppearanceAudit() = delete;
};

} // namespace NativeAppAppearance
