#pragma once
// The page on which the user configures AI polishing: the service's address and model, the API
// key (kept in the key store and never shown again once saved), the polish prompt, and a
// connection test that sends one short request and reports the outcome in a status line.
//
// The view edits a TellumoPreferences in place: the address, model and prompt are written to it
// on every keystroke; only the key goes through the explicit "保存密钥" (or Return in the key
// field). It shows whatever the preferences hold whenever they change.
//
// Two presentations: `customControls` on is a plain scrolling column with a caption above each
// text field and the kit's soft buttons, 18 between rows and no scroll bars (it still scrolls),
// meant for the application's own settings window, whose host gives the text fields their look
// (`textFields()`); off, a grouped form of stock widgets.
//
// Beside the buttons, "已存储在本机钥匙串" says that a key is stored; when the key store fell back
// to its private file, "已存储在本机私有文件“<path>”" names that file instead.
//
// Texts: the preferences' `language` chooses the language of the captions, the key field's
// title, the test button and the status lines; the section titles, notes and the other buttons
// follow the system's language (both through tellumoLocalized).
//
// The connection test runs as a task owned by the view. When the view goes away while a test
// runs (its window shows a fresh view), the request is cancelled and its result dropped.

#include "TellumoCore/PolishingSession.h"
#include "TellumoRuntime/TellumoPreferences.h"

#include "Platform/Async/Task.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;

namespace Tellumo {

class TellumoAISettingsView final : public QWidget {
    Q_OBJECT
public:
    // The connection test goes through `session` (the application's shared one by default).
    TellumoAISettingsView(TellumoPreferences *preferences, bool customControls, std::shared_ptr<PolishingSession> session = {},
                          QWidget *parent = nullptr);
    ~TellumoAISettingsView() override;

    TellumoPreferences *preferences() const { return m_preferences; }
    bool customControls() const { return m_customControls; }

    // The view's own state.
    QString keyDraft() const;
    QString aiTestStatus() const { return m_aiTestStatus; }
    bool testingAI() const { return m_testingAI; }

    // The three button actions.
    void saveKey();
    void deleteKey();
    void testConnection();
    // The last key save and connection test started here (empty handles before the first).
    const Platform::TaskHandle<void> &keySave() const { return m_keySave; }
    const Platform::TaskHandle<void> &connectionTest() const { return m_connectionTest; }

    QLineEdit *baseURLField() const { return m_baseURL; }
    QLineEdit *modelField() const { return m_model; }
    QLineEdit *keyField() const { return m_key; }
    QPlainTextEdit *promptEditor() const { return m_prompt; }
    QAbstractButton *saveButton() const { return m_save; }
    QAbstractButton *deleteButton() const { return m_delete; }
    QAbstractButton *testButton() const { return m_test; }
    QWidget *spinner() const { return m_spinner; }
    QLabel *storedLabel() const { return m_stored; }
    QLabel *keyErrorLabel() const { return m_keyError; }
    QLabel *statusLabel() const { return m_status; }
    // The preferences' `settingsError` in red at the top of the page; hidden while it is empty.
    QLabel *settingsErrorLabel() const { return m_settingsError; }
    // The captions above the address and model fields; null in the form presentation.
    QLabel *baseURLCaption() const { return m_baseURLCaption; }
    QLabel *modelCaption() const { return m_modelCaption; }
    // The address, model and key fields, for the host's text-field style.
    QList<QLineEdit *> textFields() const { return {m_baseURL, m_model, m_key}; }
    // What scrolls the page.
    QScrollArea *scrollArea() const { return m_scrollArea; }

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    static Platform::Task<void> testing(QPointer<TellumoAISettingsView> view, QPointer<TellumoPreferences> preferences,
                                        std::shared_ptr<PolishingSession> session);
    void build();
    QWidget *buildColumn();
    QWidget *buildForm();
    QWidget *buildButtonRow();
    QWidget *buildPromptEditor();
    // Shows what the preferences and the view's state hold now.
    void refresh();
    void applyColors();
    void finishTest(const QString &status);

    QPointer<TellumoPreferences> m_preferences;
    // The prompt as the preferences held it when the editor was last given it, or as the user
    // last edited it; `m_showingPrompt` while the editor is being given it.
    QString m_shownPrompt;
    bool m_promptShown = false;
    bool m_showingPrompt = false;
    bool m_customControls;
    std::shared_ptr<PolishingSession> m_session;
    QString m_aiTestStatus;
    bool m_testingAI = false;
    Platform::TaskHandle<void> m_keySave;
    Platform::TaskHandle<void> m_connectionTest;

    QScrollArea *m_scrollArea = nullptr;
    QLineEdit *m_baseURL = nullptr;
    QLineEdit *m_model = nullptr;
    QLineEdit *m_key = nullptr;
    QPlainTextEdit *m_prompt = nullptr;
    QAbstractButton *m_save = nullptr;
    QAbstractButton *m_delete = nullptr;
    QAbstractButton *m_test = nullptr;
    QWidget *m_spinner = nullptr;
    QLabel *m_stored = nullptr;
    QLabel *m_keyError = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_settingsError = nullptr;
    QLabel *m_baseURLCaption = nullptr;
    QLabel *m_modelCaption = nullptr;
    QLabel *m_keyLabel = nullptr; // the form's label of the key field
    QHBoxLayout *m_buttonRow = nullptr;
    QList<QLabel *> m_titles;
    QList<QLabel *> m_secondary;
};

} // namespace Tellumo
