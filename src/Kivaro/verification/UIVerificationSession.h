#pragma once
// The interactive verification session ("--ui-session"): the application runs as usual for an
// outside tester, with an evidence folder, "process.pid", an optional start image
// ("--ui-image", its rendering kept as "ui-baseline.png"), an optional copy one second after
// start ("--verify-share-action"), and a "验证" menu at the end of the main menu:
//   显示合成截图目标 (Ctrl+T)  a fixed 960 × 600 window showing the sample picture;
//   保存验证证据     (Ctrl+E)  an evidence save: "settings-S.png" (settings window visible),
//                              "export-S.png" (document has an image), "state-S.json" and
//                              "ui-S.png" (editor window visible), then "验证证据已保存。";
//   验证麦克风       (Ctrl+M)  eight seconds of recording in Mandarin, the transcript as a linked
//                              note at (831, 495), "microphone-check.json", then a save.
// The stamp S is the wall-clock second followed by "-" and the save's number in this session,
// so two saves within one second never overwrite each other.
//
// The folder is the run's (PrototypeVerification::evidenceFolder(): the named folder main()
// checked, or a fresh private one); nothing is written when there is none. The session first
// removes its own records and traces (RunRecords::Run::session) from a reused folder. Files are
// written through the private-file helpers. A failed save stops at its step and shows its error; a
// failed microphone check cancels the recording, shows its error and writes nothing.
//
// Main thread only.

#include "Kivaro/editor/EditorController.h"
#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QMenu;


namespace Kivaro {

class AppDelegate;


class UIVerificationSession final : public QObject {
    Q_OBJECT
public:
    UIVerificationSession(EditorController *editor, AppDelegate *delegate = nullptr, QObject *parent = nullptr);
    ~UIVerificationSession() override;

    EditorController *editor() const { return m_editor; }
    QWidget *targetWindow() const { return m_targetWindow; }
    // Empty when the run has no folder.
    const QString &output() const { return m_output; }
    QMenu *menu() const { return m_menu; }

    // The state record of the editor as it is now (13 keys).
    QJsonObject stateRecord() const;
    // The next save's stamp.
    QString nextStamp();

public Q_SLOTS:
    void showTarget();
    void saveEvidence();
    void checkMicrophone();

private:
    static Platform::Task<void> save(QPointer<UIVerificationSession> self);
    static Platform::Task<void> microphone(QPointer<UIVerificationSession> self);
    static Platform::Task<void> baseline(QPointer<UIVerificationSession> self);
    void write(const QString &name, const QByteArray &bytes) const;

    QPointer<EditorController> m_editor;
    QPointer<AppDelegate> m_delegate;
    QPointer<QWidget> m_targetWindow;
    QString m_output;
    QMenu *m_menu = nullptr;
    int m_saves = 0;
};

} // namespace Kivaro
