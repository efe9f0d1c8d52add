#include "Kivaro/shell/capture/CaptureCompletion.h"

#include "Kivaro/controls/KivaroButton.h"
#include "KivaroCore/Localization.h"

#include <QVBoxLayout>

namespace Kivaro {

CaptureCompletionPreferences CaptureCompletionPreferences::read(const Platform::UserDefaults &defaults)
{
    CaptureCompletionPreferences preferences;
    preferences.opensEditor = defaults.boolean(QString::fromLatin1(opensEditorKey));
    const QVariant copies = defaults.object(QString::fromLatin1(copiesImageKey));
    preferences.copiesImage = copies.typeId() == QMetaType::Bool ? copies.toBool() : true;
    return preferences;
}

CaptureCompletionSettings::CaptureCompletionSettings(Platform::UserDefaults defaults, QWidget *parent)
    : QWidget(parent)
    , m_opensEditor(new KivaroButton(this))
    , m_copiesImage(new KivaroButton(this))
    , m_defaults(std::move(defaults))
{
    m_opensEditor->setText(kivaroCopy(QStringLiteral("截图后进入标注")));
    m_copiesImage->setText(kivaroCopy(QStringLiteral("截图后复制到剪贴板")));

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);
    stack->addWidget(m_copiesImage, 0, Qt::AlignLeft);
    stack->addWidget(m_opensEditor, 0, Qt::AlignLeft);
    // Tab goes down the column, not in the order the switches were made.
    setTabOrder(m_copiesImage, m_opensEditor);

    for (KivaroButton *button : {m_copiesImage, m_opensEditor}) {
        button->setToggle(true);
        button->updateGeometry();
        connect(button, &QAbstractButton::clicked, this, &CaptureCompletionSettings::changed);
    }
    refresh();
}

void CaptureCompletionSettings::refresh()
{
    const CaptureCompletionPreferences preferences = CaptureCompletionPreferences::read(m_defaults);
    m_opensEditor->setChecked(preferences.opensEditor);
    m_copiesImage->setChecked(preferences.copiesImage);
}

void CaptureCompletionSettings::changed()
{
    try {
        m_defaults.set(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey), m_opensEditor->isChecked());
        m_defaults.set(QString::fromLatin1(CaptureCompletionPreferences::copiesImageKey), m_copiesImage->isChecked());
    } catch (const Platform::DefaultsWriteError &error) {
        refresh();
        if (failed)
            failed(kivaroFormat(QStringLiteral("设置无法保存：无法写入“%@”。"), {error.path()}));
    }
}

} // namespace Kivaro
