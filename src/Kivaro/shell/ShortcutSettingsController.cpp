#include "Kivaro/shell/ShortcutSettingsController.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/shell/CaptureShortcutRow.h"
#include "Kivaro/shell/capture/CaptureCompletion.h"
#include "Kivaro/shell/capture/CaptureShortcutConfiguration.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/shell/internal/ShellErrors.h"
#include "Kivaro/update/UpdateSettingsView.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QVBoxLayout>

namespace Kivaro::Shell {

using NativeAppAppearance::DynamicColor;
using NativeAppAppearance::NativeColor;

namespace {
constexpr int margin = 28;
constexpr int popupWidth = 183;
const CaptureIntent intentsInOrder[] = {CaptureIntent::image, CaptureIntent::text, CaptureIntent::polishedText};

int indexOf(CaptureIntent intent)
{
    for (int index = 0; index < 3; ++index)
        if (intentsInOrder[index] == intent)
            return index;
    return 0;
}
} // namespace

ShortcutSettingsController::ShortcutSettingsController(GlobalShortcut *shortcut, GlobalShortcut *alternateShortcut,
                                                       NativeAppUpdater::NativeUpdater *updater, Platform::UserDefaults defaults,
                                                       std::function<void()> didChange, QObject *parent)
    : QObject(parent)
    , m_shortcut(shortcut)
    , m_regionShortcut(alternateShortcut ? alternateShortcut : new GlobalShortcut([] {}, {}, this))
    , m_updater(updater)
    , m_defaults(std::move(defaults))
    , m_didChange(std::move(didChange))
    , m_captureAction(new NativeAppAppearance::NativePopupButton)
    , m_message(new KivaroTextLabel(QString(), NativeAppAppearance::NativeFonts::system(12), DynamicColor::secondaryLabel,
                                    KivaroTextLabel::allLines))
{
    m_captureAction->addItems({kivaroCopy(QStringLiteral("截图")), kivaroCopy(QStringLiteral("识字并复制")),
                               kivaroCopy(QStringLiteral("识字并 AI 润色"))});
    connect(m_captureAction, &NativeAppAppearance::NativePopupButton::activated, this,
            &ShortcutSettingsController::changeCaptureAction);
    try {
        CaptureModeShortcuts::migrate(m_defaults);
    } catch (...) {
        // Not migrated: the stored bindings are read with their fall-backs all the same.
    }
}

ShortcutSettingsController::~ShortcutSettingsController()
{
    // Made before the window; owned by it once it is built.
    if (!m_captureAction->parent())
        delete m_captureAction;
    if (!m_message->parent())
        delete m_message;
    delete m_window;
}

QWidget *ShortcutSettingsController::window() const
{
    return m_window;
}

int ShortcutSettingsController::windowWidth()
{
    return StringTable::language().startsWith(QLatin1String("zh")) ? 460 : 640;
}

// ---- registering -------------------------------------------------------------------------------

void ShortcutSettingsController::configure(const CaptureShortcutPreferences &window, const CaptureShortcutPreferences &region)
{
    CaptureShortcutConfiguration::configure(*m_shortcut, *m_regionShortcut, window, region);
}

void ShortcutSettingsController::apply(const CaptureShortcutPreferences &setting, CaptureSelectionMode mode)
{
    if (!setting.binding.isValid() || setting.binding.isMenuKey())
        throw ShotError::message(kivaroCopy(QStringLiteral("组合键需要 ⌘、⌥ 或 ⌃；⌃,、⌃W、⌃Q 留给应用菜单。")));
    const CaptureShortcutPreferences oldWindow = CaptureModeShortcuts::read(CaptureSelectionMode::window, m_defaults);
    const CaptureShortcutPreferences oldRegion = CaptureModeShortcuts::read(CaptureSelectionMode::region, m_defaults);
    const bool isWindow = mode == CaptureSelectionMode::window;
    try {
        configure(isWindow ? setting : oldWindow, isWindow ? oldRegion : setting);
        setting.save(m_defaults, CaptureModeShortcuts::key(mode));
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        m_shortcut->pause();
        m_regionShortcut->pause();
        if (!anyRecording()) {
            try {
                configure(oldWindow, oldRegion);
            } catch (...) {
            }
        }
        refresh();
        std::rethrow_exception(error);
    }
    refresh();
    if (m_didChange)
        m_didChange();
}

void ShortcutSettingsController::rowChanged(CaptureShortcutRow *row, const CaptureShortcutPreferences &setting)
{
    try {
        apply(setting, row->mode());
        showMessage(kivaroCopy(QStringLiteral("已保存，立即生效。")), DynamicColor::secondaryLabel);
    } catch (...) {
        showError(std::current_exception());
    }
}

bool ShortcutSettingsController::anyRecording() const
{
    return (m_windowRow && m_windowRow->recorder()->recording) || (m_regionRow && m_regionRow->recorder()->recording);
}

void ShortcutSettingsController::handleRecording(CaptureShortcutRow *row, bool recording)
{
    if (recording) {
        CaptureShortcutRow *other = row == m_windowRow ? m_regionRow : m_windowRow;
        if (other)
            other->recorder()->cancel();
    }
    if (anyRecording()) {
        m_shortcut->pause();
        m_regionShortcut->pause();
    } else {
        try {
            configure(CaptureModeShortcuts::read(CaptureSelectionMode::window, m_defaults),
                      CaptureModeShortcuts::read(CaptureSelectionMode::region, m_defaults));
        } catch (...) {
            showError(std::current_exception());
        }
    }
    refresh();
}

// ---- capture intent and defaults ---------------------------------------------------------------

void ShortcutSettingsController::applyCaptureIntent(CaptureIntent intent)
{
    m_defaults.set(QString::fromLatin1(CaptureIntents::preferenceKey), CaptureIntents::rawValue(intent));
    m_captureAction->selectItemAt(indexOf(intent));
    if (m_didChange)
        m_didChange();
}

void ShortcutSettingsController::changeCaptureAction()
{
    const int index = m_captureAction->indexOfSelectedItem();
    if (index < 0 || index > 2)
        return;
    try {
        applyCaptureIntent(intentsInOrder[index]);
    } catch (...) {
        m_captureAction->selectItemAt(indexOf(CaptureIntents::read(m_defaults)));
        showError(std::current_exception());
    }
}

void ShortcutSettingsController::resetDefault()
{
    if (m_windowRow)
        m_windowRow->recorder()->cancel();
    if (m_regionRow)
        m_regionRow->recorder()->cancel();
    const CaptureShortcutPreferences window = CaptureModeShortcuts::fallback(CaptureSelectionMode::window);
    const CaptureShortcutPreferences region = CaptureModeShortcuts::fallback(CaptureSelectionMode::region);
    try {
        configure(window, region);
        window.save(m_defaults, CaptureModeShortcuts::key(CaptureSelectionMode::window));
        region.save(m_defaults, CaptureModeShortcuts::key(CaptureSelectionMode::region));
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            configure(CaptureModeShortcuts::read(CaptureSelectionMode::window, m_defaults),
                      CaptureModeShortcuts::read(CaptureSelectionMode::region, m_defaults));
        } catch (...) {
        }
        showError(error);
        return;
    }
    refresh();
    if (m_didChange)
        m_didChange();
    showMessage(kivaroCopy(QStringLiteral("已恢复默认")), DynamicColor::secondaryLabel);
}

// ---- the window --------------------------------------------------------------------------------

void ShortcutSettingsController::show()
{
    if (!m_window)
        makeWindow();
    refresh();
    m_window->makeKeyAndOrderFront();
}

void ShortcutSettingsController::windowWillClose()
{
    if (m_windowRow)
        m_windowRow->recorder()->cancel();
    if (m_regionRow)
        m_regionRow->recorder()->cancel();
}

void ShortcutSettingsController::setMessage(const QString &text, const QColor &color)
{
    showMessage(text, color);
}

void ShortcutSettingsController::showError(std::exception_ptr error)
{
    showMessage(detail::errorDescription(error), DynamicColor::systemRed);
}

void ShortcutSettingsController::showMessage(const QString &text, NativeColor color)
{
    m_message->setText(text);
    m_message->setTextColor(color);
}

void ShortcutSettingsController::refresh()
{
    if (m_completionSettings)
        m_completionSettings->refresh();
    if (m_windowRow)
        m_windowRow->refresh(CaptureModeShortcuts::read(CaptureSelectionMode::window, m_defaults));
    if (m_regionRow)
        m_regionRow->refresh(CaptureModeShortcuts::read(CaptureSelectionMode::region, m_defaults));
}

void ShortcutSettingsController::setMenuBar(QMenuBar *menuBar)
{
    m_menuBar = menuBar;
    if (!m_window || !menuBar)
        return;
    auto *frame = qobject_cast<QVBoxLayout *>(m_window->contentView()->layout());
    frame->insertWidget(0, menuBar);
    fitContent();
}

void ShortcutSettingsController::fitContent()
{
    // The window's own height, or more where the user's fonts need it: a layout given less than
    // its minimum squeezes its buttons below their padding.
    QWidget *content = m_window->contentView();
    const int menu = m_menuBar ? m_menuBar->sizeHint().height() : 0;
    const int needed = content && content->layout() ? content->layout()->minimumSize().height() : 0;
    m_window->setContentSize({windowWidth(), std::max(windowHeight(m_updater) + menu, needed)});
}

void ShortcutSettingsController::ensureRows()
{
    if (m_windowRow)
        return;
    m_windowRow = new CaptureShortcutRow(CaptureSelectionMode::window, CaptureModeShortcuts::read(CaptureSelectionMode::window, m_defaults),
                                         [this](bool recording) { handleRecording(m_windowRow, recording); });
    m_regionRow = new CaptureShortcutRow(CaptureSelectionMode::region, CaptureModeShortcuts::read(CaptureSelectionMode::region, m_defaults),
                                         [this](bool recording) { handleRecording(m_regionRow, recording); });
    for (CaptureShortcutRow *row : {m_windowRow, m_regionRow})
        row->changed = [this, row](CaptureShortcutPreferences setting) { rowChanged(row, setting); };
}

void ShortcutSettingsController::makeWindow()
{
    if (m_window)
        return;
    const int width = windowWidth();
    const int height = windowHeight(m_updater);
    m_window = new KivaroWindow(QRect(0, 0, width, height), KivaroWindow::Titled | KivaroWindow::Closable);
    m_window->setTitle(kivaroCopy(QStringLiteral("设置")));
    m_window->setObjectName(QStringLiteral("settingsWindow"));
    m_window->installEventFilter(this);
    m_windowObject = m_window.data();
    connect(m_window, &QObject::destroyed, this, [this] { m_windowObject = nullptr; });

    auto *content = new QWidget;
    auto *frame = new QVBoxLayout(content);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    auto *body = new QWidget(content);
    frame->addWidget(body, 1);

    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(margin, margin, margin, 20);
    layout->setSpacing(0);

    auto *heading = new KivaroTextLabel(kivaroCopy(QStringLiteral("截图快捷键")), NativeAppAppearance::NativeFonts::system(14, QFont::Medium),
                                        DynamicColor::label, 1, body);
    layout->addWidget(heading);
    layout->addSpacing(20);

    ensureRows();
    m_windowRow->setParent(body);
    m_regionRow->setParent(body);
    layout->addWidget(m_windowRow);
    layout->addSpacing(12);
    layout->addWidget(m_regionRow);
    layout->addSpacing(12);

    auto *hint = new KivaroTextLabel(kivaroCopy(QStringLiteral("按住 Alt 可临时切换截图方式。")),
                                     NativeAppAppearance::NativeFonts::system(12), DynamicColor::secondaryLabel,
                                     KivaroTextLabel::allLines, body);
    layout->addWidget(hint);
    layout->addSpacing(24);

    auto *actionRow = new QHBoxLayout;
    actionRow->setContentsMargins(0, 0, 0, 0);
    actionRow->addWidget(new KivaroTextLabel(kivaroCopy(QStringLiteral("快捷键动作")), NativeAppAppearance::NativeFonts::system(13),
                                             DynamicColor::label, 1, body),
                         0, Qt::AlignVCenter);
    actionRow->addStretch(1);
    m_captureAction->setParent(body);
    m_captureAction->setFixedWidth(popupWidth);
    m_captureAction->selectItemAt(indexOf(CaptureIntents::read(m_defaults)));
    actionRow->addWidget(m_captureAction, 0, Qt::AlignVCenter);
    layout->addLayout(actionRow);
    layout->addSpacing(20);

    m_completionSettings = new CaptureCompletionSettings(m_defaults, body);
    m_completionSettings->failed = [this](const QString &text) { showMessage(text, DynamicColor::systemRed); };
    layout->addWidget(m_completionSettings);
    layout->addSpacing(16);

    m_message->setParent(body);
    layout->addWidget(m_message);

    if (m_updater) {
        layout->addSpacing(24);
        layout->addWidget(new UpdateSettingsView(m_updater, body));
    }
    layout->addStretch(1);
    layout->addSpacing(12);

    m_reset = new KivaroButton(kivaroCopy(QStringLiteral("恢复默认")), body);
    connect(m_reset, &QAbstractButton::clicked, this, &ShortcutSettingsController::resetDefault);
    layout->addWidget(m_reset, 0, Qt::AlignRight);

    m_window->setContentView(content);
    if (m_menuBar)
        setMenuBar(m_menuBar);
    else
        fitContent();
    m_window->center();
}

bool ShortcutSettingsController::eventFilter(QObject *watched, QEvent *event)
{
    // Compared as a plain object: the window's own destruction sends it events after its
    // KivaroWindow part is gone.
    if (event->type() == QEvent::Close && static_cast<const QObject *>(watched) == m_windowObject)
        windowWillClose();
    return QObject::eventFilter(watched, event);
}

} // namespace Kivaro::Shell
