#include "Kivaro/editor/CapturePermissionPanel.h"

#include "Kivaro/editor/CanvasBackgroundView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "KivaroCore/Localization.h"
#include "TellumoCore/ScreenRegionCapture.h"

#include <QHBoxLayout>
#include <QLabel>

namespace Kivaro {

CapturePermissionPanel::CapturePermissionPanel(QObject *parent) : QObject(parent) {}

CapturePermissionPanel::~CapturePermissionPanel()
{
    delete m_window.data();
}

KivaroWindow *CapturePermissionPanel::window() const
{
    return m_window;
}

void CapturePermissionPanel::show()
{
    if (!m_window)
        build();
    m_window->makeKeyAndOrderFront();
}

void CapturePermissionPanel::build()
{
    m_window = new KivaroWindow(QRect(0, 0, 440, 220), KivaroWindow::Titled | KivaroWindow::Closable);
    m_window->setTitle(kivaroCopy("允许 Kivaro 截取屏幕"));
    auto *content = new CanvasBackgroundView;

    m_message = new QLabel(kivaroCopy("在“录屏与系统录音”中开启 Kivaro，按系统提示重新打开应用后再截图。"), content);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font = m_message->font();
    font.setPixelSize(14);
    m_message->setFont(font);

    m_later = new KivaroButton(kivaroCopy("稍后"));
    m_settings = new KivaroButton(kivaroCopy("打开系统设置"));
    m_settings->setPrimary(true);
    connect(m_later, &KivaroButton::clicked, this, &CapturePermissionPanel::close);
    connect(m_settings, &KivaroButton::clicked, this, &CapturePermissionPanel::openSettings);

    // The label 28 from the sides and 30 from the top; the buttons, "稍后" first, under its
    // trailing edge, 24 above the bottom.
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(28, 30, 28, 24);
    column->setSpacing(12);
    column->addWidget(m_message);
    column->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch(1);
    buttons->addWidget(m_later);
    buttons->addWidget(m_settings);
    column->addLayout(buttons);

    m_window->setContentView(content);
    m_window->center();
}

void CapturePermissionPanel::openSettings()
{
    Tellumo::ScreenRegionCapture::requestPermission();
    if (Tellumo::ScreenRegionCapture::permissionGranted()) {
        close();
        return;
    }
    if (!m_window)
        build();
    m_message->setText(kivaroCopy("没有可连接的 X 显示，Kivaro 无法读取屏幕。请在 X11 桌面会话中启动 Kivaro（DISPLAY 指向该显示），然后再截图。"));
    show();
}

void CapturePermissionPanel::close()
{
    if (m_window)
        m_window->hide();
}

} // namespace Kivaro
