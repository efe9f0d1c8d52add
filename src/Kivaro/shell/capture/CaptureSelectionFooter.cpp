#include "Kivaro/shell/capture/CaptureSelectionFooter.h"

#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace Kivaro {

using namespace NativeAppAppearance;

CaptureSelectionFooter::CaptureSelectionFooter(QWidget *parent) : QWidget(parent), m_cancelButton(new KivaroButton(this))
{
    AppearanceManager::shared().setAppearance(this, Appearance::dark);
    m_cancelButton->setText(kivaroCopy("退出截图"));
    m_cancelButton->setSymbol(QStringLiteral("xmark"));
    m_cancelButton->setImagePosition(KivaroButton::ImagePosition::leading);
    m_cancelButton->setContentTintColor(NativeColor(Qt::white));
    m_cancelButton->setShortcut(QKeySequence(Qt::Key_Escape));
    m_cancelButton->setAccessibleName(kivaroCopy("退出截图"));
    m_cancelButton->setToolTip(QStringLiteral("Esc"));
    m_cancelButton->setFocusPolicy(Qt::NoFocus);
    connect(m_cancelButton, &KivaroButton::clicked, this, &CaptureSelectionFooter::exitCapture);
    layoutButton();
}

QFont CaptureSelectionFooter::captionFont()
{
    return NativeFonts::system(13, QFont::Medium);
}

void CaptureSelectionFooter::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void CaptureSelectionFooter::exitCapture()
{
    if (cancel)
        cancel();
}

void CaptureSelectionFooter::layoutButton()
{
    // In the view's terms (y up) the button sits at (max(w - 118, 8), 8); flipped for Qt.
    m_cancelButton->setGeometry(std::max(width() - 118, 8), height() - 8 - 32, 110, 32);
}

void CaptureSelectionFooter::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutButton();
}

void CaptureSelectionFooter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double w = width();
    const double h = height();
    NativeDrawing::fillRoundedRect(painter, QRectF(0, 0, w, h), 13, QColor::fromRgbF(0, 0, 0, 0.85f));
    // The caption's box is (16, 15, w - 150, 19) and the divider (w - 126, 12, 1, 24) with y up.
    NativeDrawing::drawText(painter, m_caption, QRectF(16, h - 15 - 19, std::max(w - 150, 0.0), 19), captionFont(), Qt::white,
                            Qt::AlignLeft, Qt::ElideRight);
    painter.fillRect(QRectF(w - 126, h - 12 - 24, 1, 24), QColor::fromRgbF(1, 1, 1, 0.2f));
}

void CaptureSelectionFooter::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void CaptureSelectionFooter::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

} // namespace Kivaro
