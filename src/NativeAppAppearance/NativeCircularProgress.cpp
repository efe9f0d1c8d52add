#include "NativeAppAppearance/NativeCircularProgress.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeCircularProgressStyle.h"

#include <QPainter>
#include <QVariantAnimation>

namespace NativeAppAppearance {

NativeCircularProgress::NativeCircularProgress(QWidget *parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TranslucentBackground);
}

QSize NativeCircularProgress::sizeHint() const
{
    return {int(NativeCircularProgressStyle::extent), int(NativeCircularProgressStyle::extent)};
}

bool NativeCircularProgress::isRotating() const
{
    return m_animation && m_animation->state() == QAbstractAnimation::Running;
}

void NativeCircularProgress::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_animation) {
        m_animation->resume();
        return;
    }
    m_animation = new QVariantAnimation(this);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(360.0);
    m_animation->setDuration(NativeCircularProgressStyle::turnMilliseconds);
    m_animation->setLoopCount(-1);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_rotation = value.toReal();
        update();
    });
    m_animation->start();
}

void NativeCircularProgress::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A hidden spinner keeps no timer: the resident process would otherwise repaint nothing at
    // 60 Hz for as long as it runs.
    if (m_animation && m_animation->state() == QAbstractAnimation::Running)
        m_animation->pause();
}

void NativeCircularProgress::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    NativeCircularProgressStyle::paint(painter, m_rotation, AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace NativeAppAppearance
