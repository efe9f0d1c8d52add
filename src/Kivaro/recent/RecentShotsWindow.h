#pragma once
// The window listing the recent shots: one 100-point row per entry with its preview, its date
// and a share button, and a hint below the list. Double-clicking a row, or Return or Space on the
// selected row, hands the entry back to continue editing it and hides the window; a row's share
// button (a click, or Return or Space once Tab has reached it) calls the share action with the
// entry and the button, which anchors the share menu, and leaves the window open.
//
// The caller lists the store and passes the entries; the window only reads each preview file.
// The window is built on the first `show` and kept: closing only hides it, and later calls
// keep its place and size and replace the rows. The actions are held until the next `show`.

#include "Kivaro/recent/RecentShot.h"

#include "Kivaro/controls/KivaroListWindow.h"

#include <QList>

#include <functional>

class QWidget;

namespace Kivaro {

class KivaroTableRow;

class RecentShotsWindow final : public KivaroListWindow {
    Q_OBJECT
public:
    using ShareAction = std::function<void(const RecentShot &shot, QWidget *anchor)>;
    using OpenAction = std::function<void(const RecentShot &shot)>;
    static constexpr int kRowHeight = 100;

    explicit RecentShotsWindow(QObject *parent = nullptr);

    // Replaces the entries and both actions, builds the window on first use, reloads the rows
    // and brings the window to the front with the keyboard focus.
    void show(const QList<RecentShot> &shots, ShareAction share = {}, OpenAction open = {});

    const QList<RecentShot> &shots() const { return m_shots; }
    int numberOfRows() const { return int(m_shots.size()); }
    // Opens the selected entry, if any, and hides the window (a double-click, or Return or Space
    // in the list).
    void openSelected();

    // The date line of an entry, as its row shows it.
    static QString caption(const RecentShot &shot);

private:
    void rowActivated(int row) override;
    KivaroTableRow *makeRow(const RecentShot &shot);

    QList<RecentShot> m_shots;
    OpenAction m_openShot;
    ShareAction m_shareShot;
};

} // namespace Kivaro
