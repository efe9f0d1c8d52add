#include "Kivaro/update/KivaroUpdatePrompts.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/update/internal/ReleaseNotesView.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QEvent>
#include <QShortcut>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

constexpr int margin = 24;
constexpr int buttonSpacing = 10;

// The window's content: the title, the detail line, the notes and the button row placed as the
// prompt's layout asks (the title and detail from the top, the buttons at the bottom right, the
// notes between them). No background of its own: the window's background shows.
class PromptContent final : public QWidget {
public:
    PromptContent(const NativeAppUpdater::NativeUpdatePrompt &prompt, QWidget *parent = nullptr) : QWidget(parent)
    {
        m_title = new KivaroTextLabel(prompt.title, NativeFonts::system(17, QFont::DemiBold), DynamicColor::label, KivaroTextLabel::allLines, this);
        m_title->setObjectName(QStringLiteral("title"));
        m_detail = new KivaroTextLabel(prompt.detail, NativeFonts::system(13), DynamicColor::secondaryLabel, KivaroTextLabel::allLines, this);
        m_detail->setObjectName(QStringLiteral("detail"));
        if (prompt.releaseNotes && !prompt.releaseNotes->isEmpty()) {
            m_notes = new detail::ReleaseNotesView(*prompt.releaseNotes, this);
            m_notes->setObjectName(QStringLiteral("releaseNotes"));
        }
        if (prompt.secondary) {
            m_later = new KivaroButton(*prompt.secondary, this);
            m_later->setObjectName(QStringLiteral("later"));
        }
        m_confirm = new KivaroButton(prompt.primary, this);
        m_confirm->setObjectName(QStringLiteral("confirm"));
        m_confirm->setPrimary(true);
        // The window opens with the keyboard focus on itself, not on a button (which would wear
        // a focus ring, and take the space bar): Return answers through the window's shortcut,
        // Tab reaches the buttons.
        setFocusPolicy(Qt::ClickFocus);
    }

    KivaroButton *confirm() const { return m_confirm; }
    KivaroButton *later() const { return m_later; }

protected:
    void resizeEvent(QResizeEvent *) override
    {
        const int textWidth = width() - 2 * margin;
        m_title->setGeometry(margin, margin, textWidth, m_title->heightForWidth(textWidth));
        // A prompt without a detail line gives it no height.
        const int detailHeight = m_detail->text().isEmpty() ? 0 : m_detail->heightForWidth(textWidth);
        m_detail->setGeometry(margin, m_title->geometry().bottom() + 1 + 12, textWidth, detailHeight);
        int right = width() - margin;
        const QSize confirm = m_confirm->sizeHint();
        const int buttonsTop = height() - margin - confirm.height();
        m_confirm->setGeometry(right - confirm.width(), buttonsTop, confirm.width(), confirm.height());
        right -= confirm.width() + buttonSpacing;
        if (m_later) {
            const QSize later = m_later->sizeHint();
            m_later->setGeometry(right - later.width(), buttonsTop, later.width(), later.height());
        }
        if (m_notes) {
            const int top = m_detail->geometry().bottom() + 1 + 20;
            m_notes->setGeometry(margin, top, textWidth, qMax(0, buttonsTop - 20 - top));
        }
    }

private:
    KivaroTextLabel *m_title = nullptr;
    KivaroTextLabel *m_detail = nullptr;
    detail::ReleaseNotesView *m_notes = nullptr;
    KivaroButton *m_confirm = nullptr;
    KivaroButton *m_later = nullptr;
};

} // namespace

KivaroUpdatePrompts::KivaroUpdatePrompts(QObject *parent) : QObject(parent) {}

KivaroUpdatePrompts::~KivaroUpdatePrompts()
{
    finish(false);
}

void KivaroUpdatePrompts::present(const NativeAppUpdater::NativeUpdatePrompt &prompt, std::function<void(bool)> completion)
{
    if (m_window || m_completion)
        finish(false);
    // No trimming: notes of a single space still get the notes area.
    const bool hasNotes = prompt.releaseNotes && !prompt.releaseNotes->isEmpty();
    auto *window = new KivaroWindow(QRect(0, 0, width, hasNotes ? heightWithNotes : heightWithoutNotes),
                                    KivaroWindow::Titled | KivaroWindow::Closable);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setTitle(prompt.title);
    auto *content = new PromptContent(prompt);
    window->setContentView(content);
    connect(content->confirm(), &KivaroButton::clicked, this, &KivaroUpdatePrompts::accept);
    if (content->later())
        connect(content->later(), &KivaroButton::clicked, this, &KivaroUpdatePrompts::cancel);
    for (const int key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), window), &QShortcut::activated, this, &KivaroUpdatePrompts::accept);
    window->installEventFilter(this);

    m_window = window;
    m_confirm = content->confirm();
    m_later = content->later();
    m_completion = std::move(completion);
    window->center();
    window->makeKeyAndOrderFront();
    content->setFocus(Qt::OtherFocusReason);
}

void KivaroUpdatePrompts::accept()
{
    finish(true);
}

void KivaroUpdatePrompts::cancel()
{
    finish(false);
}

void KivaroUpdatePrompts::finish(bool accepted)
{
    auto completion = std::exchange(m_completion, {});
    QPointer<KivaroWindow> window = m_window;
    m_window = nullptr;
    m_confirm = nullptr;
    m_later = nullptr;
    if (window) {
        window->removeEventFilter(this);
        window->close();
        window->deleteLater();
    }
    if (completion)
        completion(accepted);
}

bool KivaroUpdatePrompts::eventFilter(QObject *watched, QEvent *event)
{
    // Closed by the user (the title bar's close button): the prompt is declined.
    if (event->type() == QEvent::Close && watched == m_window && m_completion) {
        auto completion = std::exchange(m_completion, {});
        QPointer<KivaroWindow> window = m_window;
        m_window = nullptr;
        m_confirm = nullptr;
        m_later = nullptr;
        window->removeEventFilter(this);
        window->deleteLater();
        completion(false);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Kivaro
