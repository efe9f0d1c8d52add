#include "NativeAppAppearance/NativeAppearanceAudit.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuRow.h"
#include "NativeAppAppearance/NativeStatusMenu.h"
#include "NativeAppAppearance/internal/AuditReport.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace NativeAppAppearance {

namespace {
struct Phase {
    const char *name;
    Appearance appearance;
};
constexpr Phase phases[] = {{"light", Appearance::light}, {"dark", Appearance::dark}, {"light-restored", Appearance::light}};

// A failure raised by the audit itself (domain "NativeAppearanceAudit", code 1).
class AuditFailure final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

QString describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

[[noreturn]] void fail(const QString &message)
{
    throw AuditFailure(message.toStdString());
}

QAbstractScrollArea *firstScrollArea(QWidget *widget)
{
    if (auto *area = qobject_cast<QAbstractScrollArea *>(widget))
        return area;
    for (QObject *child : widget->children()) {
        if (auto *childWidget = qobject_cast<QWidget *>(child)) {
            if (auto *found = firstScrollArea(childWidget))
                return found;
        }
    }
    return nullptr;
}

bool menuShowsRows()
{
    MenuContentView *content = NativeMenu::shared().contentView();
    if (!NativeMenu::shared().popover() || !content || !content->window() || !content->window()->isVisible())
        return false;
    return !content->findChildren<NativeMenuRow *>(Qt::FindDirectChildrenOnly).isEmpty();
}
} // namespace

bool NativeAppearanceAudit::requested()
{
    return requested(QCoreApplication::arguments());
}

bool NativeAppearanceAudit::requested(const QStringList &arguments)
{
    return arguments.contains(QLatin1String(flag));
}

Platform::UserDefaults NativeAppearanceAudit::defaults()
{
    if (!requested())
        return Platform::UserDefaults::standard();
    return Platform::UserDefaults::suite(QStringLiteral("appearance-audit-") + QString::number(QCoreApplication::applicationPid()));
}

QString NativeAppearanceAudit::evidenceFolder(const QStringList &arguments)
{
    const qsizetype index = arguments.indexOf(QStringLiteral("--evidence-dir"));
    if (index >= 0 && index + 1 < arguments.size())
        return arguments.at(index + 1);
    return QStringLiteral("/tmp/native-appearance-audit-") + QString::number(QCoreApplication::applicationPid());
}

QImage NativeAppearanceAudit::render(QWidget *window)
{
    QImage image(window->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    window->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image;
}

QSize NativeAppearanceAudit::capture(QWidget *window, const QString &path)
{
    if (!window || !window->isVisible())
        throw AuditFailure("Window is missing from the capture");
    const QImage image = render(window);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw AuditFailure("PNG encoding failed");
    if (const auto error = Platform::writePrivateFile(path, png))
        throw AuditFailure(error->toStdString());
    std::fprintf(stdout, "SCREENSHOT: %s\n", qPrintable(path));
    std::fflush(stdout);
    return image.size();
}

Platform::Task<NativeAppearanceAudit::Result> NativeAppearanceAudit::run(QList<Scene> scenes, Options options)
{
    AppearanceManager &manager = AppearanceManager::shared();
    const auto remembered = manager.applicationAppearance();
    Result result;
    const QString folder = options.evidenceFolder;
    std::exception_ptr failure;
    try {
        if (const auto error = AuditReport::prepareFolder(folder))
            fail(*error);
        for (const Phase &phase : phases) {
            const QString scheme = QString::fromLatin1(phase.name);
            manager.setApplicationAppearance(phase.appearance);
            for (int position = 0; position < scenes.size(); ++position) {
                const Scene &scene = scenes.at(position);
                for (QWidget *top : QApplication::topLevelWidgets())
                    top->hide();
                QPointer<QWidget> window = co_await scene.show();
                if (!window)
                    fail(QStringLiteral("Appearance did not update: ") + scene.name);
                window->show();
                window->raise();
                window->activateWindow();
                co_await Platform::sleep(options.settle);
                if (!window || manager.effectiveAppearance(window) != phase.appearance)
                    fail(QStringLiteral("Appearance did not update: ") + scene.name);
                const QString path = QDir(folder).filePath(scene.name + QLatin1Char('-') + scheme + QStringLiteral(".png"));
                const QSize size = capture(window, path);
                result.captures << Capture{scene.name, scheme, path, size.width(), size.height()};

                auto *anchor = new QWidget(window);
                anchor->setGeometry(20, 20, 24, 24);
                anchor->show();
                const QPointer<QWidget> anchorGuard(anchor);
                if (position == 0 && NativeStatusMenu::presentForAudit(anchor)) {
                    co_await Platform::sleep(options.menuSettle);
                    if (!menuShowsRows())
                        fail(QStringLiteral("Custom status menu did not open"));
                    MenuContentView *content = NativeMenu::shared().contentView();
                    const QString menuPath = QDir(folder).filePath(QStringLiteral("status-menu-") + scheme + QStringLiteral(".png"));
                    const QSize menuSize = capture(content->window(), menuPath);
                    result.captures << Capture{QStringLiteral("status-menu"), scheme, menuPath, menuSize.width(), menuSize.height()};
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QCoreApplication::sendEvent(content, &escape);
                    if (NativeMenu::shared().contentView())
                        fail(QStringLiteral("Escape did not close menu"));
                }
                delete anchorGuard.data();
            }
        }
        manager.setApplicationAppearance(std::nullopt);
        co_await Platform::sleep(options.restoreSettle);
        if (manager.applicationAppearance())
            fail(QStringLiteral("System appearance was not restored"));
        result.passed = true;
    } catch (...) {
        failure = std::current_exception();
    }
    manager.setApplicationAppearance(remembered);
    if (failure)
        result.error = describe(failure);
    // A summary that cannot be written is itself a failure of a passing run; a failing run
    // reports its own error and goes on.
    const auto written = AuditReport::write(folder, result.passed, result.captures, result.error);
    if (written && result.passed) {
        result.passed = false;
        result.error = *written;
    }
    co_return result;
}

bool NativeAppearanceAudit::runIfRequested(QList<Scene> scenes)
{
    if (!requested())
        return false;
    Options options;
    options.evidenceFolder = evidenceFolder(QCoreApplication::arguments());
    Platform::start([](QList<Scene> scenes, Options options) -> Platform::Task<> {
        const Result result = co_await run(std::move(scenes), std::move(options));
        if (result.passed) {
            QCoreApplication::quit();
            co_return;
        }
        std::fprintf(stderr, "Appearance audit failed: %s\n", qPrintable(result.error));
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(1);
    }(std::move(scenes), std::move(options)));
    return true;
}

NativeAppearanceAudit::Scene NativeAppearanceAudit::errorScene()
{
    return Scene(QStringLiteral("error-dialog"), []() -> Platform::Task<QWidget *> {
        auto *alert = new QMessageBox();
        alert->setIcon(QMessageBox::Warning);
        alert->setText(QStringLiteral("操作未完成"));
        alert->setInformativeText(QStringLiteral("这是隔离验收中的错误提示，请重试。"));
        alert->addButton(QStringLiteral("重试"), QMessageBox::AcceptRole);
        alert->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        AppearanceManager::shared().adoptPalette(alert);
        co_return alert;
    });
}

void NativeAppearanceAudit::scroll(QWidget *window, bool toBottom)
{
    if (!window)
        return;
    if (QLayout *layout = window->layout())
        layout->activate();
    QAbstractScrollArea *area = firstScrollArea(window);
    if (!area || !area->viewport())
        return;
    QScrollBar *bar = area->verticalScrollBar();
    bar->setValue(toBottom ? bar->maximum() : bar->minimum());
}

} // namespace NativeAppAppearance
