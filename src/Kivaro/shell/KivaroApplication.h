#pragma once
// The application object. Besides QApplication's work it lets the quit key through while a
// capture overlay waits for a selection: the overlay takes every key then (no shortcut of the
// application's windows may act on a frozen screen), but Ctrl+Q must still quit, and quitting
// cancels the capture and waits for it to unwind.

#include <QApplication>
#include <QPointer>

class QKeyEvent;

namespace Kivaro {

class AppDelegate;

class KivaroApplication final : public QApplication {
    Q_OBJECT
public:
    KivaroApplication(int &argc, char **argv);

    void setDelegate(AppDelegate *delegate) { m_delegate = delegate; }
    AppDelegate *delegate() const { return m_delegate; }

    // Ctrl+Q, with no other modifier.
    static bool isQuitKey(const QKeyEvent &event);
    // What the application does with a key press before anything else sees it: true when it
    // was the quit key during a capture and the delegate was asked to quit.
    static bool quitsDuringCapture(AppDelegate *delegate, const QKeyEvent &event);

    bool notify(QObject *receiver, QEvent *event) override;

private:
    QPointer<AppDelegate> m_delegate;
};

} // namespace Kivaro
