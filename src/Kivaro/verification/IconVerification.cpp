#include "Kivaro/verification/IconVerification.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Async/Awaitables.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <chrono>
#include <memory>

namespace Kivaro::IconVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

std::optional<QString> iconProblem(const QIcon &icon)
{
    if (icon.isNull() || icon.pixmap(256).isNull())
        return QStringLiteral("the application has no icon");
    const QImage image = icon.pixmap(256).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return QStringLiteral("the application has no icon");
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0)
                return std::nullopt;
    }
    return QStringLiteral("the application icon is empty (every pixel is transparent)");
}

namespace {

QLabel *tile(const QIcon &icon, int side, qreal ratio)
{
    auto *label = new QLabel;
    label->setFixedSize(side, side);
    label->setAlignment(Qt::AlignCenter);
    QPixmap pixmap = icon.pixmap(QSize(side, side), ratio);
    label->setPixmap(pixmap);
    return label;
}

} // namespace

Platform::Task<void> run(EditorController *editor)
{
    const PrototypeVerification::StandaloneRun standalone(QStringLiteral("Icon preview failed: "), RunRecords::names(RunRecords::Run::icon));
    std::unique_ptr<KivaroWindow> window;
    try {
        standalone.requireFolder();
        if (AppDelegate *delegate = AppDelegate::shared()) {
            if (delegate->shortcutSettings() && delegate->shortcutSettings()->window())
                delegate->shortcutSettings()->window()->hide();
        }
        if (editor && editor->window())
            editor->window()->hide();

        const QIcon icon = QApplication::windowIcon();
        if (const auto problem = iconProblem(icon))
            throw ShotError::message(*problem);

        window = std::make_unique<KivaroWindow>(QRect(0, 0, 660, 350), KivaroWindow::Titled | KivaroWindow::Closable);
        window->setTitle(QStringLiteral("Kivaro"));
        auto *content = new QWidget;
        auto *outer = new QHBoxLayout(content);
        outer->setContentsMargins(0, 0, 0, 0);
        auto *row = new QHBoxLayout;
        row->setSpacing(32);
        for (int side : {256, 64, 32, 16})
            row->addWidget(tile(icon, side, 2), 0, Qt::AlignVCenter);
        outer->addStretch(1);
        outer->addLayout(row);
        outer->addStretch(1);
        window->setContentView(content);
        window->center();
        window->makeKeyAndOrderFront();
        window->activateWindow();

        for (const auto &[name, appearance] :
             {std::pair{QStringLiteral("light"), Appearance::light}, std::pair{QStringLiteral("dark"), Appearance::dark}}) {
            AppearanceManager::shared().setAppearance(window.get(), appearance);
            co_await Platform::sleep(350ms);
            PrototypeVerification::snapshot(content, standalone.path(QStringLiteral("icon-") + name + QStringLiteral(".png")));
        }
        window->close();
    } catch (...) {
        standalone.fail(std::current_exception());
    }
    // No record on a pass: the two pictures are the result.
    PrototypeVerification::StandaloneRun::end(0);
}

} // namespace Kivaro::IconVerification
