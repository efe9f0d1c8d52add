#include "Kivaro/sharing/ShareSession.h"

#include "Kivaro/sharing/SharePresenter.h"
#include "Kivaro/sharing/internal/ShareFolderJanitor.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/NativeMenu.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QWidget>

using NativeAppAppearance::NativeMenu;

namespace Kivaro {

namespace {

// Why an application did not start, in the user's language; the share's error names it.
QString launchFailureReason(Platform::LaunchFailure cause)
{
    switch (cause) {
    case Platform::LaunchFailure::programNotFound:
        return kivaroCopy("找不到它的程序");
    case Platform::LaunchFailure::notExecutable:
        return kivaroCopy("它的程序不是可执行文件");
    case Platform::LaunchFailure::permissionDenied:
        return kivaroCopy("没有运行它的权限");
    case Platform::LaunchFailure::other:
        break;
    }
    return kivaroCopy("系统未能启动它");
}

} // namespace

ShareSession::ShareSession(SharePresenter &presenter, QString file, QWidget *anchor, Completion completion)
    : QObject(&presenter), m_presenter(&presenter), m_file(std::move(file)), m_anchor(anchor), m_completion(std::move(completion))
{
}

ShareSession::~ShareSession()
{
    const bool unfinished = !m_completed;
    m_completed = true; // closing our menu below runs its dismissal; it must not finish us now
    if (m_menu) {
        if (NativeMenu::shared().menuStack().contains(m_menu.data()))
            NativeMenu::shared().close();
        m_menu->deleteLater();
    }
    // An application that was chosen may be starting with the file; its folder then waits for
    // the next launch's sweep rather than vanishing under it.
    if (unfinished && !m_chosenService)
        detail::ShareFolderJanitor::removeFolder(folder());
}

QString ShareSession::folder() const
{
    return QFileInfo(m_file).absolutePath();
}

void ShareSession::show()
{
    if (!m_anchor || !m_anchor->isVisible() || !m_presenter) {
        finish(nullptr);
        return;
    }
    const QList<Platform::SharingService> services = m_presenter->services().servicesFor(m_file);
    m_serviceTitles.clear();
    auto *menu = new QMenu();
    m_menu = menu;
    for (const Platform::SharingService &service : services) {
        m_serviceTitles << service.title;
        QAction *item = menu->addAction(service.image, service.title);
        connect(item, &QAction::triggered, this, [this, service] { perform(service); });
    }
    if (services.isEmpty()) {
        // An empty popover reads as a fault; say why nothing can be chosen.
        QAction *none = menu->addAction(kivaroCopy("没有可以打开这个文件的应用"));
        none->setEnabled(false);
    }
    const QPointer<ShareSession> self(this);
    NativeMenu::shared().show(menu, m_anchor, nullptr, [self] {
        if (self)
            self->finish(nullptr);
    });
}

void ShareSession::perform(const Platform::SharingService &service)
{
    if (m_completed || !m_presenter) {
        return;
    }
    m_chosenService = true;
    const QPointer<ShareSession> self(this);
    const QPointer<detail::ShareFolderJanitor> janitor(m_presenter->m_janitor);
    const QString folder = this->folder();
    const QString title = service.title;
    m_presenter->services().perform(
        service, m_file,
        [self, title](std::optional<Platform::LaunchFailure> error) {
            if (!self)
                return;
            if (error)
                self->finish(std::make_exception_ptr(ShotError::message(kivaroFormat("无法启动“%@”：%@", title, launchFailureReason(*error)))));
            else
                self->finish(nullptr, true);
        },
        [janitor, folder] {
            if (janitor)
                janitor->processExited(folder);
        });
}

void ShareSession::finish(std::exception_ptr error, bool handedOver)
{
    if (m_completed)
        return;
    m_completed = true;
    if (m_presenter) {
        const SharePresenter::Options &options = m_presenter->options();
        if (handedOver)
            m_presenter->m_janitor->removeAfterExit(folder(), options.retention);
        else
            m_presenter->m_janitor->removeAfter(folder(), options.removalDelay);
    }
    const Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(error);
}

} // namespace Kivaro
