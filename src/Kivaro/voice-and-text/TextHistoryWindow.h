#pragma once
// The window listing the recent recognised texts: one 104-point row per record with the start
// of its text (at most three lines), when it was copied and whether AI polished it, and a share
// button; a hint below the list. Double-clicking a row copies its whole text to the pasteboard
// again (no message); a row's share button calls the share action with the record and the
// button, which anchors the share menu.
//
// The caller reads the history and passes the records; the window does not watch the folder.
// It is built on the first `show` and kept: closing only hides it, and later calls keep its place
// and size and replace the rows. The share action is held until the next `show`. A share button
// of a row that outlives the window does nothing. Main thread only.

#include "Kivaro/controls/KivaroListWindow.h"
#include "KivaroCore/RecognizedTextRecord.h"

#include <QList>

#include <functional>
#include <memory>

class QWidget;

namespace Platform {
class Pasteboard;
}

namespace Kivaro {

class KivaroTableRow;

class TextHistoryWindow final : public KivaroListWindow {
    Q_OBJECT
public:
    using ShareAction = std::function<void(const RecognizedTextRecord &record, QWidget *anchor)>;

    static constexpr int kRowHeight = 104;
    // A row shows at most this many characters of its text.
    static constexpr int kPreviewLength = 240;

    // Copies go to the general pasteboard unless another is given.
    explicit TextHistoryWindow(QObject *parent = nullptr);
    explicit TextHistoryWindow(std::shared_ptr<Platform::Pasteboard> pasteboard, QObject *parent = nullptr);

    // Replaces the records and the share action, builds the window on first use, reloads the
    // rows and brings the window to the front with the keyboard focus.
    void show(const QList<RecognizedTextRecord> &records, ShareAction share = {});

    const QList<RecognizedTextRecord> &records() const { return m_records; }
    int numberOfRows() const { return int(m_records.size()); }
    // Copies the selected record's text, if a row is selected (a double-click, or Return or
    // Space in the list).
    void copySelected();

    // The start of a text as its row shows it, and the line below it: the date and time in the
    // locale's short forms, " · ", then "AI 润色" (looked up) or "OCR".
    static QString preview(const QString &text);
    static QString detail(const RecognizedTextRecord &record);

private:
    void rowActivated(int row) override;
    KivaroTableRow *makeRow(const RecognizedTextRecord &record);

    std::shared_ptr<Platform::Pasteboard> m_pasteboard;
    QList<RecognizedTextRecord> m_records;
    ShareAction m_share;
};

} // namespace Kivaro
