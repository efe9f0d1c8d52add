#include "Kivaro/verification/SharingVerification.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroListWindow.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/recent/RecentShot.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/sharing/SharePresenter.h"
#include "Kivaro/sharing/ShareRowButton.h"
#include "Kivaro/sharing/ShareSession.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/SavedAppearance.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "KivaroCore/RecognizedTextHistory.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/Sharing/SharingServices.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QUuid>
#include <QWindow>

#include <chrono>
#include <optional>

#include <unistd.h>

namespace Kivaro::SharingVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

namespace {

const QStringList checkTexts{
    QStringLiteral("three shared entry points"),
    QStringLiteral("original resolution and redaction"),
    QStringLiteral("history project export"),
    QStringLiteral("UTF-8 OCR file"),
    QStringLiteral("custom share menu contains the designated receiver"),
    QStringLiteral("custom menu cancellation removes temporary file"),
};

using VerificationSupport::failWith;
using VerificationSupport::isInside;
using VerificationSupport::writeEvidence;

QString title()
{
    return QString::fromLatin1(receiverTitle);
}

std::optional<QByteArray> readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// The designated receiver's desktop entry, written for the run and removed at its end.
class Receiver final {
public:
    // Throws ShotError when the data folder is not the run's own or the entry cannot be written.
    explicit Receiver(const QString &output)
    {
        const QString home = qEnvironmentVariable("XDG_DATA_HOME");
        if (home.isEmpty() || !QDir::isAbsolutePath(home) || !isInside(home, output))
            failWith(QStringLiteral("指定接收方需要运行目录内的私有数据目录（XDG_DATA_HOME）"));
        const QString folder = QDir(home).filePath(QStringLiteral("applications"));
        if (const auto error = Platform::ensurePrivateFolder(folder))
            failWith(*error);
        m_path = QDir(folder).filePath(QString::fromLatin1(receiverId));
        const QByteArray entry = "[Desktop Entry]\nType=Application\nName=" + title().toUtf8()
            + "\nExec=true %f\nMimeType=image/png;text/plain;\nTerminal=false\n";
        writeEvidence(m_path, entry);
    }
    ~Receiver()
    {
        if (!m_path.isEmpty())
            ::unlink(QFile::encodeName(m_path).constData());
    }
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;

private:
    QString m_path;
};

QStringList menuTitles(const SharePresenter &sharing)
{
    QStringList titles;
    for (const ShareSession *session : sharing.sessions())
        if (session)
            titles += session->serviceTitles();
    return titles;
}

// The receiver takes every one of `files` (it is among the services offered for each).
bool receiverTakes(SharePresenter &sharing, const QStringList &files)
{
    if (files.isEmpty())
        return false;
    for (const QString &file : files) {
        bool found = false;
        for (const Platform::SharingService &service : sharing.services().servicesFor(file))
            found = found || service.name == QLatin1String(receiverId);
        if (!found)
            return false;
    }
    return true;
}

Platform::Task<void> waitWhile(std::function<bool()> condition, std::chrono::milliseconds step)
{
    for (int attempt = 0; attempt < 100; ++attempt)
        if (condition())
            co_await Platform::sleep(step);
}

ShareRowButton *findButton(QWidget *view)
{
    if (!view)
        return nullptr;
    if (auto *button = qobject_cast<ShareRowButton *>(view))
        return button;
    for (QObject *child : view->children())
        if (auto *widget = qobject_cast<QWidget *>(child))
            if (ShareRowButton *button = findButton(widget))
                return button;
    return nullptr;
}

Platform::Task<void> verifyRow(EditorController *editor, QPointer<KivaroWindow> window, QByteArray expected, QString screenshot)
{
    SharePresenter &sharing = *editor->sharing();
    // A share menu opens only at a button on the screen: the window manager is given a bounded
    // moment to map the list window first (the rows may be rebuilt meanwhile).
    co_await waitWhile([&] { return window && !(window->windowHandle() && window->windowHandle()->isExposed()); }, 20ms);
    ShareRowButton *button = window ? findButton(window->contentView()) : nullptr;
    if (!button)
        failWith(QStringLiteral("列表分享按钮不存在"));
    button->click();
    co_await waitWhile([&] { return editor->busy() || menuTitles(sharing).isEmpty(); }, 30ms);
    const QStringList files = sharing.activeFiles();
    bool right = files.size() == 1;
    if (right) {
        const std::optional<QByteArray> bytes = readAll(files.first());
        if (!bytes)
            failWith(QStringLiteral("读取分享文件失败：") + files.first());
        right = *bytes == expected && receiverTakes(sharing, files) && menuTitles(sharing).contains(title());
    }
    if (!right) {
        sharing.cancelPickers();
        failWith(QStringLiteral("列表分享内容或实际分享菜单不正确"));
    }
    co_await captureShareMenu(screenshot);
    sharing.cancelPickers();
    const QString file = files.first();
    co_await waitWhile([&] { return QFileInfo::exists(file); }, 20ms);
    if (QFileInfo::exists(file))
        failWith(QStringLiteral("列表分享取消后未清理文件"));
}

Platform::Task<void> closeAndSettle(KivaroListWindow *list)
{
    if (list && list->window())
        list->window()->close();
    co_await Platform::sleep(350ms);
}

Platform::Task<void> steps(EditorController *editor, QString output)
{
    const auto at = [&output](const QString &name) { return QDir(output).filePath(name); };
    ShotDocument *document = editor->document();
    SharePresenter &sharing = *editor->sharing();

    // 1. The fixture document.
    document->load(SampleImage::make(), true);
    editor->annotate(QStringLiteral("分享这里的截图反馈"), QPointF(730, 330));
    co_await document->addMask(QRectF(40, 60, 100, 40));
    document->fit();

    // 2. The export keeps the size and the mask.
    const QByteArray exported = co_await document->png(std::nullopt, false);
    {
        const QImage image = QImage::fromData(exported, "PNG").convertToFormat(QImage::Format_ARGB32);
        const QColor masked = image.isNull() || image.width() <= 70 || image.height() <= 80 ? QColor() : image.pixelColor(70, 80);
        if (image.isNull() || image.size() != QSize(960, 600) || !(masked.alphaF() > 0.99 && masked.redF() > 0.05))
            failWith(QStringLiteral("分享导出未保留原尺寸或遮挡"));
    }

    // 3. The history fixture renders the whole project.
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    RecentShot shot = RecentShot::named(output, id);
    shot.date = QDateTime::currentDateTime();
    writeEvidence(shot.projectURL, co_await ProjectArchive::encode(LinkedAnnotations::reconcile(document->state())));
    writeEvidence(shot.previewURL, co_await document->png(120, false));
    {
        ShotDocument reopened;
        reopened.open(shot.projectURL);
        if (co_await reopened.png(std::nullopt, false) != exported)
            failWith(QStringLiteral("历史分享没有使用完整标注工程"));
    }

    // 4. The text record.
    const RecognizedTextRecord record = editor->textHistory().append(fixtureText(), false, QDateTime::currentDateTimeUtc()).record;

    // 5. The designated receiver is among the desktop's services.
    if (!sharing.services().service(QString::fromLatin1(receiverId)))
        failWith(QStringLiteral("系统未提供指定接收方"));

    // 6. The text share file.
    {
        const QString file = SharePresenter::prepare(fixtureText().toUtf8(), QStringLiteral("Kivaro-OCR.txt"));
        const std::optional<QByteArray> bytes = readAll(file);
        const bool kept = bytes && QString::fromUtf8(*bytes) == fixtureText() && receiverTakes(sharing, {file});
        const QString folder = QFileInfo(file).absolutePath();
        if (!QDir(folder).removeRecursively())
            failWith(QStringLiteral("无法删除分享文件夹：") + folder);
        if (!kept)
            failWith(QStringLiteral("OCR 分享文件未保留原文或指定接收方不支持"));
    }

    // 7. The editor and both lists in light and dark.
    const auto shareShot = [editor](const RecentShot &entry, QWidget *anchor) { editor->shareShot(entry, anchor); };
    const auto shareText = [editor](const RecognizedTextRecord &entry, QWidget *anchor) { editor->shareText(entry, anchor); };
    for (const auto &[name, appearance] : {std::pair{QStringLiteral("light"), Appearance::light}, std::pair{QStringLiteral("dark"), Appearance::dark}}) {
        AppearanceManager::shared().setApplicationAppearance(appearance);
        editor->showEditor();
        co_await Platform::sleep(250ms);
        co_await PrototypeVerification::snapshotAfterEvents(editor->view(), at(QStringLiteral("share-editor-") + name + QStringLiteral(".png")));

        editor->recentWindow()->show({shot}, shareShot, [](const RecentShot &) {});
        if (KivaroWindow *window = editor->recentWindow()->window(); window && window->contentView()) {
            co_await Platform::sleep(250ms);
            co_await PrototypeVerification::snapshotAfterEvents(window->contentView(), at(QStringLiteral("share-history-") + name + QStringLiteral(".png")));
        }
        co_await closeAndSettle(editor->recentWindow());

        editor->textHistoryWindow()->show({record}, shareText);
        if (KivaroWindow *window = editor->textHistoryWindow()->window(); window && window->contentView()) {
            co_await Platform::sleep(250ms);
            co_await PrototypeVerification::snapshotAfterEvents(window->contentView(), at(QStringLiteral("share-ocr-") + name + QStringLiteral(".png")));
        }
        co_await closeAndSettle(editor->textHistoryWindow());
    }

    // 8.1 The editor's share button.
    AppearanceManager::shared().setApplicationAppearance(Appearance::light);
    editor->showEditor();
    KivaroButton *share = editor->shareButton();
    if (!share)
        failWith(QStringLiteral("分享按钮不存在"));
    share->click();
    co_await waitWhile([&] { return editor->busy(); }, 30ms);
    co_await waitWhile([&] { return menuTitles(sharing).isEmpty(); }, 30ms);
    const QStringList files = sharing.activeFiles();
    const std::optional<QByteArray> first = files.isEmpty() ? std::nullopt : readAll(files.first());
    const bool takes = receiverTakes(sharing, files);
    const QJsonObject state{
        {QStringLiteral("files"), int(files.size())},
        {QStringLiteral("pngMatches"), first && *first == exported},
        {QStringLiteral("receiverCanPerform"), takes},
        {QStringLiteral("receiverTitle"), title()},
        {QStringLiteral("receiverMenuTitle"), title()},
        {QStringLiteral("proposedTitles"), QJsonArray::fromStringList(menuTitles(sharing))},
        {QStringLiteral("buttonEnabled"), share->isEnabled()},
        {QStringLiteral("busy"), editor->busy()},
    };
    writeEvidence(at(QStringLiteral("share-picker-state.json")), QJsonDocument(state).toJson(QJsonDocument::Indented));
    if (!files.isEmpty() && !first)
        failWith(QStringLiteral("读取分享文件失败：") + files.first());
    if (files.size() != 1 || *first != exported || !takes || !menuTitles(sharing).contains(title())) {
        sharing.cancelPickers();
        failWith(QStringLiteral("实际分享菜单未提供指定接收方或没有使用标注 PNG"));
    }
    co_await captureShareMenu(at(QStringLiteral("share-menu.png")));
    AppearanceManager::shared().setApplicationAppearance(Appearance::dark);
    co_await captureShareMenu(at(QStringLiteral("share-menu-dark.png")));

    // 8.2 Cancelling deletes the temporary file.
    AppearanceManager::shared().setApplicationAppearance(Appearance::light);
    sharing.cancelPickers();
    const QString shared = files.first();
    co_await waitWhile([&] { return !sharing.activeFiles().isEmpty() || QFileInfo::exists(shared); }, 20ms);
    if (!sharing.activeFiles().isEmpty() || QFileInfo::exists(shared))
        failWith(QStringLiteral("取消分享后临时文件未清理"));

    // 8.3 and 8.4 The list rows.
    editor->recentWindow()->show({shot}, shareShot, [](const RecentShot &) {});
    co_await verifyRow(editor, editor->recentWindow()->window(), exported, at(QStringLiteral("share-history-menu.png")));
    co_await closeAndSettle(editor->recentWindow());
    editor->textHistoryWindow()->show({record}, shareText);
    co_await verifyRow(editor, editor->textHistoryWindow()->window(), fixtureText().toUtf8(), at(QStringLiteral("share-ocr-menu.png")));
    co_await closeAndSettle(editor->textHistoryWindow());

    // 9. The result.
    writeEvidence(at(QStringLiteral("sharing-result.json")), passRecord());
}

} // namespace

QString fixtureText()
{
    return QStringLiteral("截图里的文字\nSecond line — 分享原文");
}

QByteArray passRecord()
{
    const QJsonObject result{
        {QStringLiteral("status"), QStringLiteral("passed")},
        {QStringLiteral("environment"), QStringLiteral("native-linux")},
        {QStringLiteral("checks"), QJsonArray::fromStringList(checkTexts)},
        {QStringLiteral("recipient"), QStringLiteral("designated receiver (a desktop entry of this run)")},
        {QStringLiteral("recipientTransferVerified"), false},
        {QStringLiteral("systemNetworkChanged"), false},
    };
    return QJsonDocument(result).toJson(QJsonDocument::Indented);
}

Platform::Task<void> run(EditorController *editor, QString output)
{
    co_await Platform::yieldToEventLoop();
    if (!editor || !editor->document() || !editor->sharing())
        failWith(QStringLiteral("编辑器不可用"));
    RunRecords::remove(output, RunRecords::Run::sharing);
    const VerificationSupport::SavedAppearance appearance;
    Receiver receiver(output);
    co_await steps(editor, output);
}

} // namespace Kivaro::SharingVerification
