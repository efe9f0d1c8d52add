#include "Kivaro/recent/RecentShotsWindow.h"

#include "Kivaro/recent/internal/RecentShotCaption.h"
#include "Kivaro/recent/internal/RecentShotPreview.h"
#include "Kivaro/sharing/ShareRowButton.h"

#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "KivaroCore/Localization.h"

#include <QHBoxLayout>
#include <QLocale>

namespace Kivaro {

using detail::RecentShotCaption;
using detail::RecentShotPreview;

RecentShotsWindow::RecentShotsWindow(QObject *parent)
    : KivaroListWindow({[] { return kivaroCopy("最近截图 — 最多保留 20 张"); }, kRowHeight, QSize(560, 300),
                        [] {
                            return new RecentShotCaption(kivaroCopy("双击继续编辑，点击分享发送标注后的 PNG。"),
                                                         RecentShotCaption::Style::hint);
                        }},
                       parent)
{
}

QString RecentShotsWindow::caption(const RecentShot &shot)
{
    const QString date = QLocale().toString(shot.date.toLocalTime(), QStringLiteral("MM-dd HH:mm:ss"));
    return kivaroFormat("%@\n双击继续标注", date);
}

void RecentShotsWindow::show(const QList<RecentShot> &shots, ShareAction share, OpenAction open)
{
    m_shots = shots;
    m_shareShot = std::move(share);
    m_openShot = std::move(open);
    QList<KivaroTableRow *> rows;
    for (const RecentShot &shot : std::as_const(m_shots))
        rows << makeRow(shot);
    present(rows);
}

void RecentShotsWindow::rowActivated(int)
{
    openSelected();
}

KivaroTableRow *RecentShotsWindow::makeRow(const RecentShot &shot)
{
    auto *row = new KivaroTableRow;
    auto *cell = new QHBoxLayout(row);
    cell->setContentsMargins(12, 6, 12, 6);
    cell->setSpacing(16);
    cell->addWidget(new RecentShotPreview(shot.previewURL), 0, Qt::AlignVCenter);
    cell->addWidget(new RecentShotCaption(caption(shot), RecentShotCaption::Style::entry), 1);
    const QPointer<RecentShotsWindow> self(this);
    cell->addWidget(new ShareRowButton([self, shot](ShareRowButton *button) {
                        if (self && self->m_shareShot)
                            self->m_shareShot(shot, button);
                    }),
                    0, Qt::AlignVCenter);
    return row;
}

void RecentShotsWindow::openSelected()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_shots.size())
        return;
    const RecentShot shot = m_shots[row];
    if (m_openShot)
        m_openShot(shot);
    if (window())
        window()->hide();
}

} // namespace Kivaro
