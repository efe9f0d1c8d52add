#include "Kivaro/update/internal/ReleaseNotesView.h"

#include "Kivaro/controls/KivaroScroller.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFontDatabase>
#include <QScrollBar>

using namespace NativeAppAppearance;
using NativeAppUpdater::ReleaseNotesRun;

namespace Kivaro::detail {

ReleaseNotesView::ReleaseNotesView(const QString &markdown, QWidget *parent)
    : QTextBrowser(parent), m_notes(NativeAppUpdater::nativeReleaseNotes(markdown))
{
    setReadOnly(true);
    // Selectable with the mouse, without a caret; the prompt's buttons keep the keyboard.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    setFocusPolicy(Qt::ClickFocus);
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl &url) {
        if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
            QDesktopServices::openUrl(url);
    });
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBar(new KivaroScroller(Qt::Vertical, this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    // No background of its own: the window's shows through.
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; }"));
    document()->setDocumentMargin(0);
    render();
    connect(&AppearanceManager::shared(), &AppearanceManager::effectiveAppearanceChanged, this, &ReleaseNotesView::render);
}

void ReleaseNotesView::changeEvent(QEvent *event)
{
    QTextBrowser::changeEvent(event);
    if (event->type() == QEvent::ParentChange)
        render();
}

void ReleaseNotesView::render()
{
    // Refilling the document drops the selection: only on a real change, and where the reader was.
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    if (m_rendered == appearance)
        return;
    m_rendered = appearance;
    const int scrolled = verticalScrollBar()->value();
    NativeAppUpdater::fillReleaseNotesDocument(*document(), m_notes, resolve(DynamicColor::label, appearance),
                                               resolve(DynamicColor::controlAccent, appearance), [](const ReleaseNotesRun &run) {
                                                   if (run.face == ReleaseNotesRun::Face::monospaced) {
                                                       QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
                                                       font.setPixelSize(qRound(run.pointSize));
                                                       font.setBold(run.bold);
                                                       font.setItalic(run.italic);
                                                       return font;
                                                   }
                                                   QFont font = NativeFonts::system(run.pointSize, run.bold ? QFont::Bold : QFont::Normal);
                                                   font.setItalic(run.italic);
                                                   return font;
                                               });
    // Filling leaves the cursor, and so the view, at the end.
    moveCursor(QTextCursor::Start);
    verticalScrollBar()->setValue(scrolled);
}

} // namespace Kivaro::detail
