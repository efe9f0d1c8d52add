#pragma once
// The editor's one-line status: how every editor operation reports progress, success and
// errors. Setting a text shows the line; an empty text hides it. A text set with
// `setStringValue` clears itself 5.0 s after it was set, and every new text restarts that
// period; a text set with `setProgressText` announces work in progress and stays until the next
// text replaces it. Progress is marked by the caller, never read from the wording, so it holds
// in every language.
//
// Screen readers see the line as static text whose name is the current text; every change is
// announced as a name change.
//
// Drawn by itself: the 12-point system font in the secondary label colour, centred, cut at the
// tail when it does not fit. Laid over a picture (the inline editor's frozen screen) it is
// `plated`: the text in the dark appearance's label colour on a dark rounded plate, readable
// whatever lies beneath. Main thread only.

#include <QTimer>
#include <QWidget>

#include <chrono>

namespace Kivaro {

class CompactStatusLabel final : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds dismissDelay{5000};

    explicit CompactStatusLabel(QWidget *parent = nullptr);

    const QString &stringValue() const { return m_text; }
    // Stores the text, shows or hides the line and restarts the dismiss timer (stops it for an
    // empty text).
    void setStringValue(const QString &text);
    // Stores a text that announces work in progress: shown without any dismissal.
    void setProgressText(const QString &text);
    // Whether the current text was set as progress.
    bool isProgress() const { return m_progress; }
    // The pending 5.0-s dismissal; inactive while none is pending.
    const QTimer &dismissTimer() const { return m_dismissTimer; }

    bool isPlated() const { return m_plated; }
    void setPlated(bool plated);

    static QFont font();
    QSize sizeHint() const override;

Q_SIGNALS:
    void stringValueChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void store(const QString &text, bool progress);

    QString m_text;
    bool m_progress = false;
    QTimer m_dismissTimer;
    bool m_plated = false;
};

} // namespace Kivaro
