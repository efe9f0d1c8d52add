#include "TellumoRuntime/TellumoAISettingsView.h"

#include "TellumoRuntime/TellumoLocalization.h"
#include "TellumoRuntime/TellumoPreferences.h"
#include "TellumoRuntime/internal/PromptEditorFrame.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeCircularProgress.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeSoftButton.h"
#include "Platform/Async/Awaitables.h"
#include "TellumoCore/TextPolisher.h"

#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace Tellumo {

using namespace NativeAppAppearance;

namespace {

// The language of the texts that follow the system rather than the preferences.
const QString kSystem = QStringLiteral("system");

QLabel *makeLabel(const QString &text, qreal size, QFont::Weight weight = QFont::Normal, bool wrap = false)
{
    auto *label = new QLabel(text);
    label->setFont(NativeFonts::system(size, weight));
    label->setWordWrap(wrap);
    label->setTextInteractionFlags(wrap ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
    return label;
}

void setTextIfChanged(QLineEdit *field, const QString &text)
{
    if (field->text() != text)
        field->setText(text);
}

void setLabelText(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

// Where the key is: the desktop's key store, or the private file it fell back to (the label
// wraps, breaking a long path after its slashes).
QString storedText(const QString &keyFile)
{
    if (keyFile.isEmpty())
        return tellumoLocalized(QStringLiteral("已存储在本机钥匙串"), kSystem);
    return Kivaro::formatWithLocale(tellumoLocalized(QStringLiteral("已存储在本机私有文件“%@”"), kSystem), {keyFile}, QLocale());
}

} // namespace

TellumoAISettingsView::TellumoAISettingsView(TellumoPreferences *preferences, bool customControls, std::shared_ptr<PolishingSession> session,
                                             QWidget *parent)
    : QWidget(parent), m_preferences(preferences), m_customControls(customControls), m_session(std::move(session))
{
    build();
    connect(preferences, &TellumoPreferences::changed, this, &TellumoAISettingsView::refresh);
    connect(&AppearanceManager::shared(), &AppearanceManager::effectiveAppearanceChanged, this, &TellumoAISettingsView::applyColors);
    refresh();
    applyColors();
}

TellumoAISettingsView::~TellumoAISettingsView() = default;

QString TellumoAISettingsView::keyDraft() const
{
    return m_key->text();
}

void TellumoAISettingsView::build()
{
    m_baseURL = new QLineEdit;
    m_model = new QLineEdit;
    m_key = new QLineEdit;
    m_key->setEchoMode(QLineEdit::Password);
    m_prompt = new QPlainTextEdit;
    m_prompt->setTabChangesFocus(true);
    for (QLineEdit *field : textFields())
        field->setFont(NativeFonts::system(13));
    m_prompt->setFont(NativeFonts::system(13));
    m_stored = makeLabel(QString(), 13, QFont::Normal, true);
    m_keyError = makeLabel(QString(), 13, QFont::Normal, true);
    m_status = makeLabel(QString(), 11, QFont::Normal, true);
    m_settingsError = makeLabel(QString(), 13, QFont::Normal, true);
    m_secondary << m_stored << m_status;
    if (m_customControls) {
        const QColor accent = AppearanceManager::shared().color(DynamicColor::controlAccent, this);
        m_save = new NativeSoftButton(QString(), accent);
        m_delete = new NativeSoftButton(QString(), accent);
        m_test = new NativeSoftButton(QString(), accent);
    } else {
        m_save = new QPushButton;
        m_delete = new QPushButton;
        m_test = new QPushButton;
    }
    m_save->setText(tellumoLocalized(QStringLiteral("保存密钥"), kSystem));
    m_delete->setText(tellumoLocalized(QStringLiteral("删除密钥"), kSystem));

    connect(m_baseURL, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_preferences)
            m_preferences->setAiBaseURL(text);
    });
    connect(m_model, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_preferences)
            m_preferences->setAiModel(text);
    });
    // Only an edit writes the prompt. The editor shows a stored prompt slightly changed (line
    // ends and no-break spaces become plain ones), so comparing its text with the stored one
    // would save that change without any edit.
    connect(m_prompt, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_preferences || m_showingPrompt)
            return;
        const QString edited = m_prompt->toPlainText();
        m_shownPrompt = edited;
        if (edited != m_preferences->polishPrompt())
            m_preferences->setPolishPrompt(edited);
    });
    connect(m_key, &QLineEdit::textChanged, this, &TellumoAISettingsView::refresh);
    // Return in the key field is the field's default action.
    connect(m_key, &QLineEdit::returnPressed, this, &TellumoAISettingsView::saveKey);
    connect(m_save, &QAbstractButton::clicked, this, &TellumoAISettingsView::saveKey);
    connect(m_delete, &QAbstractButton::clicked, this, &TellumoAISettingsView::deleteKey);
    connect(m_test, &QAbstractButton::clicked, this, &TellumoAISettingsView::testConnection);

    m_scrollArea = new QScrollArea;
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // Not a Tab stop of its own, where the focus would vanish: moving the focus scrolls it.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setWidget(m_customControls ? buildColumn() : buildForm());
    // The column never scrolls sideways, and scrolls down (wheel, keys, focus) without showing
    // a scroll bar; the form shows its bar when it needs one.
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(m_customControls ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_scrollArea->widget()->setAutoFillBackground(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scrollArea);
}

QWidget *TellumoAISettingsView::buildButtonRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    m_buttonRow = layout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_save, 0, Qt::AlignVCenter);
    layout->addWidget(m_delete, 0, Qt::AlignVCenter);
    layout->addWidget(m_stored, 0, Qt::AlignVCenter);
    layout->addWidget(m_test, 0, Qt::AlignVCenter);
    // Turning while a connection test waits for the service.
    m_spinner = new NativeCircularProgress;
    m_spinner->hide();
    layout->addWidget(m_spinner, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

QWidget *TellumoAISettingsView::buildPromptEditor()
{
    if (m_customControls)
        return new PromptEditorFrame(m_prompt);
    m_prompt->setMinimumHeight(PromptEditorFrame::minimumHeight);
    return m_prompt;
}

QWidget *TellumoAISettingsView::buildColumn()
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(4, 4, 4, 4);
    // Every row, caption, title and note alike, 18 below the one above it; rows that are hidden
    // take no room. The page scrolls when it is taller than the window.
    layout->setSpacing(18);
    auto *serviceTitle = makeLabel(tellumoLocalized(QStringLiteral("OpenAI 兼容服务"), kSystem), 13, QFont::Bold);
    m_baseURLCaption = makeLabel(QString(), 11);
    m_modelCaption = makeLabel(QString(), 11);
    auto *reasoningNote = makeLabel(tellumoLocalized(QStringLiteral("对已知支持的模型，润色请求会自动关闭思考以缩短等待。"), kSystem), 11, QFont::Normal, true);
    auto *promptTitle = makeLabel(tellumoLocalized(QStringLiteral("润色提示词"), kSystem), 13, QFont::Bold);
    auto *privacyNote = makeLabel(tellumoLocalized(QStringLiteral("从菜单选择“选区识字并 AI 润色”时，识别文字会发送到配置的 AI 服务；普通识字始终在本机完成。"), kSystem), 11,
                                  QFont::Normal, true);
    m_titles << serviceTitle << promptTitle;
    m_secondary << m_baseURLCaption << m_modelCaption << reasoningNote << privacyNote;

    layout->addWidget(m_settingsError);
    layout->addWidget(serviceTitle);
    layout->addWidget(m_baseURLCaption);
    layout->addWidget(m_baseURL);
    layout->addWidget(m_modelCaption);
    layout->addWidget(m_model);
    layout->addWidget(reasoningNote);
    layout->addWidget(m_key);
    layout->addWidget(buildButtonRow());
    layout->addWidget(m_keyError);
    layout->addWidget(m_status);
    layout->addWidget(promptTitle);
    layout->addWidget(buildPromptEditor());
    layout->addWidget(privacyNote);
    layout->addStretch(1);
    return column;
}

QWidget *TellumoAISettingsView::buildForm()
{
    auto *form = new QWidget;
    auto *layout = new QVBoxLayout(form);
    layout->setSpacing(12);

    auto *service = new QGroupBox(tellumoLocalized(QStringLiteral("OpenAI 兼容服务"), kSystem));
    auto *serviceRows = new QFormLayout(service);
    serviceRows->addRow(makeLabel(tellumoLocalized(QStringLiteral("API 根地址"), kSystem), 13), m_baseURL);
    serviceRows->addRow(makeLabel(tellumoLocalized(QStringLiteral("模型"), kSystem), 13), m_model);
    auto *reasoningNote = makeLabel(tellumoLocalized(QStringLiteral("对已知支持的模型，润色请求会自动关闭思考以缩短等待。"), kSystem), 11, QFont::Normal, true);
    serviceRows->addRow(reasoningNote);
    m_keyLabel = makeLabel(QString(), 13);
    serviceRows->addRow(m_keyLabel, m_key);
    serviceRows->addRow(buildButtonRow());
    serviceRows->addRow(m_keyError);
    serviceRows->addRow(m_status);

    auto *prompt = new QGroupBox(tellumoLocalized(QStringLiteral("润色提示词"), kSystem));
    auto *promptRows = new QVBoxLayout(prompt);
    promptRows->addWidget(buildPromptEditor());
    auto *privacyNote = makeLabel(tellumoLocalized(QStringLiteral("从菜单选择“选区识字并 AI 润色”时，识别文字会发送到配置的 AI 服务；普通识字始终在本机完成。"), kSystem), 11,
                                  QFont::Normal, true);
    promptRows->addWidget(privacyNote);
    m_secondary << reasoningNote << privacyNote;

    layout->addWidget(m_settingsError);
    layout->addWidget(service);
    layout->addWidget(prompt);
    layout->addStretch(1);
    return form;
}

void TellumoAISettingsView::refresh()
{
    if (!m_preferences)
        return;
    const QString language = m_preferences->language();
    const bool keySaved = m_preferences->keySaved();
    setTextIfChanged(m_baseURL, m_preferences->aiBaseURL());
    setTextIfChanged(m_model, m_preferences->aiModel());
    if (!m_promptShown || m_shownPrompt != m_preferences->polishPrompt()) {
        m_showingPrompt = true;
        m_prompt->setPlainText(m_preferences->polishPrompt());
        m_showingPrompt = false;
        m_shownPrompt = m_preferences->polishPrompt();
        m_promptShown = true;
    }
    // In the form the titles stand beside the fields; in the column they are the placeholders.
    if (m_customControls) {
        m_baseURL->setPlaceholderText(tellumoLocalized(QStringLiteral("API 根地址"), kSystem));
        m_model->setPlaceholderText(tellumoLocalized(QStringLiteral("模型"), kSystem));
    }
    if (m_baseURLCaption) {
        setLabelText(m_baseURLCaption, tellumoLocalized(QStringLiteral("API 根地址"), language));
        setLabelText(m_modelCaption, tellumoLocalized(QStringLiteral("模型"), language));
    }
    const QString keyTitle = keySaved ? tellumoLocalized(QStringLiteral("已保存 API Key；输入新值可替换"), language)
                                      : tellumoLocalized(QStringLiteral("API Key"), language);
    if (m_keyLabel)
        setLabelText(m_keyLabel, keyTitle);
    else
        m_key->setPlaceholderText(keyTitle);

    m_save->setEnabled(!m_key->text().trimmed().isEmpty());
    m_delete->setVisible(keySaved);
    m_stored->setVisible(keySaved);
    setLabelText(m_stored, storedText(m_preferences->keyFile()));
    // A file's path takes the room the row has left rather than a narrow column of lines.
    const bool inFile = !m_preferences->keyFile().isEmpty();
    QSizePolicy storedPolicy = m_stored->sizePolicy();
    storedPolicy.setHorizontalPolicy(inFile ? QSizePolicy::Expanding : QSizePolicy::Preferred);
    m_stored->setSizePolicy(storedPolicy);
    m_buttonRow->setStretchFactor(m_stored, inFile ? 1 : 0);
    m_buttonRow->setStretch(m_buttonRow->count() - 1, inFile ? 0 : 1); // the row's closing stretch
    m_buttonRow->setAlignment(m_stored, inFile ? Qt::Alignment() : Qt::AlignVCenter); // an aligned label would not grow
    m_test->setText(m_testingAI ? tellumoLocalized(QStringLiteral("测试中…"), language) : tellumoLocalized(QStringLiteral("测试连接"), language));
    m_test->setEnabled(keySaved && !m_testingAI);
    m_spinner->setVisible(m_testingAI);

    const QString keyError = m_preferences->keyError();
    setLabelText(m_keyError, tellumoLocalized(keyError, language));
    m_keyError->setVisible(!keyError.isEmpty());
    const QString settingsError = m_preferences->settingsError();
    setLabelText(m_settingsError, settingsError);
    m_settingsError->setVisible(!settingsError.isEmpty());
    setLabelText(m_status, tellumoLocalized(m_aiTestStatus, language));
    m_status->setVisible(!m_aiTestStatus.isEmpty());
    for (QAbstractButton *button : {m_save, m_delete, m_test})
        button->updateGeometry();
}

void TellumoAISettingsView::applyColors()
{
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    auto colour = [](QWidget *widget, const QColor &color) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, color);
        widget->setPalette(palette);
    };
    for (QLabel *label : std::as_const(m_secondary))
        colour(label, resolve(DynamicColor::secondaryLabel, appearance));
    for (QLabel *label : std::as_const(m_titles))
        colour(label, resolve(DynamicColor::label, appearance));
    colour(m_keyError, resolve(DynamicColor::systemRed, appearance));
    colour(m_settingsError, resolve(DynamicColor::systemRed, appearance));
    if (m_customControls) {
        const QColor accent = resolve(DynamicColor::controlAccent, appearance);
        for (QAbstractButton *button : {m_save, m_delete, m_test})
            static_cast<NativeSoftButton *>(button)->setAccent(accent);
    }
}

void TellumoAISettingsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ParentChange)
        applyColors();
}

void TellumoAISettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyColors();
}

void TellumoAISettingsView::saveKey()
{
    if (!m_preferences || m_key->text().trimmed().isEmpty())
        return;
    m_keySave = m_preferences->saveKey(m_key->text());
    // Cleared whether or not the store takes the key: a failure shows below the buttons.
    m_key->clear();
}

void TellumoAISettingsView::deleteKey()
{
    if (m_preferences)
        m_keySave = m_preferences->saveKey(QString());
}

void TellumoAISettingsView::testConnection()
{
    if (!m_preferences || m_testingAI || !m_preferences->keySaved())
        return;
    m_testingAI = true;
    m_aiTestStatus.clear();
    refresh();
    m_connectionTest = Platform::start(testing(this, m_preferences, m_session ? m_session : PolishingSession::shared()), this);
}

void TellumoAISettingsView::finishTest(const QString &status)
{
    m_aiTestStatus = status;
    m_testingAI = false;
    refresh();
}

Platform::Task<void> TellumoAISettingsView::testing(QPointer<TellumoAISettingsView> view, QPointer<TellumoPreferences> preferences,
                                                    std::shared_ptr<PolishingSession> session)
{
    // Ends the test state when the view is still there, whichever way the test ends.
    struct Finish {
        QPointer<TellumoAISettingsView> view;
        QString status;
        ~Finish()
        {
            if (view && view->m_testingAI)
                view->finishTest(status);
        }
    } finish{view, {}};

    if (!preferences)
        co_return;
    const std::shared_ptr<AIKeyStore> store = preferences->keyStore();
    std::optional<QString> key;
    try {
        key = co_await store->read();
    } catch (const AIKeychainError &error) {
        finish.status = tellumoLocalizedFormat("连接失败：%@", error.description());
        co_return;
    }
    if (!key) {
        finish.status = tellumoKey("请先保存 API Key。");
        co_return;
    }
    if (!preferences)
        co_return;
    try {
        co_await TextPolisher::polish(QStringLiteral("测试"), preferences->aiBaseURL(), preferences->aiModel(), QStringLiteral("请只回复：连接成功"),
                                      *key, session);
        finish.status = tellumoKey("连接成功");
    } catch (const TellumoError &error) {
        finish.status = tellumoLocalizedFormat("连接失败：%@", tellumoErrorText(error));
    }
}

} // namespace Tellumo
