#include "Kivaro/shell/capture/ShortcutRecorder.h"
#include "Kivaro/shell/capture/internal/ModifierKeys.h"

#include "KivaroCore/Localization.h"
#include "Platform/Keys/KeyTable.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

namespace Kivaro {

namespace {

// Not a key of the table: a chord with it is never valid.
constexpr std::uint32_t unknownKeyCode = 0xffff;

// A button whose value is its title.
class RecorderAccessible final : public QAccessibleWidget {
public:
    explicit RecorderAccessible(ShortcutRecorder *recorder) : QAccessibleWidget(recorder, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return recorder()->text();
        const QString text = QAccessibleWidget::text(kind);
        if (text.isEmpty() && (kind == QAccessible::Name || kind == QAccessible::Description))
            return recorder()->text();
        return text;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            recorder()->click();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    ShortcutRecorder *recorder() const { return static_cast<ShortcutRecorder *>(widget()); }
};

QAccessibleInterface *recorderAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(ShortcutRecorder::staticMetaObject.className()) && object && object->isWidgetType())
        return new RecorderAccessible(static_cast<ShortcutRecorder *>(object));
    return nullptr;
}

} // namespace

ShortcutRecorder::ShortcutRecorder(QWidget *parent) : KivaroButton(parent)
{
    static const bool accessible = (QAccessible::installFactory(recorderAccessible), true);
    Q_UNUSED(accessible);
    setFocusPolicy(Qt::StrongFocus);
    qApp->installEventFilter(this);
}

ShortcutRecorder::~ShortcutRecorder()
{
    qApp->removeEventFilter(this);
}

CaptureShortcut ShortcutRecorder::chord(const QKeyEvent &event)
{
    CaptureShortcut result;
    // Caps Lock, Num Lock and the keypad flag are not part of a chord.
    result.modifiers = Platform::Keys::hotKeyMaskFromQt(event.modifiers());
    const Platform::KeyInfo *key = Platform::Keys::fromEvent(event);
    if (!key) {
        result.keyCode = unknownKeyCode;
        result.keyName = event.text().toUpper();
        return result;
    }
    result.keyCode = key->keyCode;
    // The key's own unshifted name: Shift+Command+K is "K", whatever Shift would have typed.
    result.keyName = key->keyCode == Platform::Keys::space ? kivaroCopy("空格") : QString::fromUtf16(key->name);
    return result;
}

void ShortcutRecorder::cancel()
{
    if (!recording)
        return;
    recording = false;
    setTitle(binding.title());
    if (recordingChanged)
        recordingChanged(false);
}

void ShortcutRecorder::setTitle(const QString &title)
{
    if (title == text())
        return;
    setText(title);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void ShortcutRecorder::record(const QKeyEvent &event)
{
    const Platform::KeyInfo *key = Platform::Keys::fromEvent(event);
    if (key && key->keyCode == Platform::Keys::escape) {
        cancel();
        return;
    }
    if (changed)
        changed(chord(event));
    cancel();
}

bool ShortcutRecorder::eventFilter(QObject *watched, QEvent *event)
{
    if (!recording || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return KivaroButton::eventFilter(watched, event);
    const auto *target = qobject_cast<QWidget *>(watched);
    if (!target || target->window() != window())
        return KivaroButton::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    // A modifier pressed on its own is part of the chord still being formed.
    if (detail::isModifierKey(key->key()))
        return KivaroButton::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Keeps the window's shortcuts from taking the press: it arrives as a key press.
        event->accept();
        return true;
    }
    record(*key);
    return true;
}

void ShortcutRecorder::focusOutEvent(QFocusEvent *event)
{
    KivaroButton::focusOutEvent(event);
    // The window losing activation keeps the focus where it is; any other focus change ends
    // recording.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        cancel();
}

} // namespace Kivaro
