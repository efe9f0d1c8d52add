#pragma once
// FilePanels over QFileDialog: Qt's own (non-native) dialog, so it looks and behaves the same
// under every desktop and under Xvfb. Opened with open(), never exec(); the task waits for the
// dialog's finished signal. A cancelled task rejects and closes the dialog; the dialog is
// deleted later, never while awaited.
//
// A panel given no folder starts in the folder of the last file chosen through this object
// (the session's memory; nothing is stored), else in the user's Pictures folder, else in the
// home folder. The file list's columns are at least wide enough for their titles and for a
// size and a modification date as this locale writes them. The dialog's texts are Qt's own:
// they follow the translation installed with installQtTranslations.

#include "Platform/Dialogs/FilePanels.h"

#include <QObject>
#include <QPointer>

#include <QFileDialog>

namespace Platform {

class QtFilePanels final : public QObject, public FilePanels {
    Q_OBJECT
public:
    explicit QtFilePanels(QObject *parent = nullptr);

    Task<std::optional<QString>> chooseFileToOpen(QWidget *parent, OpenPanelOptions options) override;
    Task<std::optional<QString>> chooseSaveLocation(QWidget *parent, SavePanelOptions options) override;

    // The dialog on screen while a task waits for it, or null (tests answer it through this).
    QFileDialog *currentDialog() const { return m_current; }
    // The folder a panel asked to start in `asked` starts in.
    QString startFolder(const QString &asked) const;

Q_SIGNALS:
    // A panel has been shown and waits for the user.
    void panelShown(QFileDialog *dialog);

private:
    QFileDialog *makeDialog(QWidget *parent, const QString &title, const QString &directory) const;
    Task<std::optional<QString>> run(QFileDialog *dialog);

    QPointer<QFileDialog> m_current;
    QString m_lastFolder;
};

} // namespace Platform
