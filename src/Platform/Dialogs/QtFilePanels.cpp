#include "Platform/Dialogs/QtFilePanels.h"

#include "Platform/Dialogs/internal/DialogWaits.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QTreeView>

#include <iterator>

namespace Platform {

namespace {

// Qt's file list sizes its columns for English titles and dates; a translated title or a date
// written the locale's way is cut off. Each column gets at least what its title and a sample
// value of it take, and the dialog grows (within its screen) until every column is in view.
void widenColumns(QFileDialog *dialog)
{
    auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view || !view->model())
        return;
    QHeaderView *header = view->header();
    const QFontMetrics metrics(view->font());
    const int padding = metrics.horizontalAdvance(QStringLiteral("MMM"));
    const QLocale locale = QLocale::system();
    // Name, size, type, date modified: QFileSystemModel's columns.
    const QString samples[] = {QStringLiteral("MMMMMMMMMMMM"), locale.formattedDataSize(999'900'000),
                               QStringLiteral("MMMMMMMM"),
                               locale.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58)), QLocale::ShortFormat)};
    for (int column = 0; column < header->count() && column < int(std::size(samples)); ++column) {
        const int wanted = qMax(header->sectionSizeHint(column), metrics.horizontalAdvance(samples[column]) + padding);
        if (header->sectionSize(column) < wanted)
            header->resizeSection(column, wanted);
    }
    const int missing = header->length() - view->viewport()->width();
    if (missing > 0) {
        const QScreen *screen = dialog->screen();
        const int widest = screen ? screen->availableGeometry().width() * 9 / 10 : dialog->width() + missing;
        // The dialog is already placed: it grows about its centre and stays on its screen, its
        // title bar included.
        const QPoint centre = dialog->frameGeometry().center();
        dialog->resize(qMin(dialog->width() + missing + 2, qMax(dialog->width(), widest)), dialog->height());
        QRect frame = dialog->frameGeometry();
        frame.moveCenter(centre);
        if (screen) {
            const QRect area = screen->availableGeometry();
            frame.moveLeft(qBound(area.left(), frame.left(), qMax(area.left(), area.right() + 1 - frame.width())));
            frame.moveTop(qBound(area.top(), frame.top(), qMax(area.top(), area.bottom() + 1 - frame.height())));
        }
        dialog->move(frame.topLeft());
    }
}

} // namespace

QFileDialog *QtFilePanels::makeDialog(QWidget *parent, const QString &title, const QString &directory) const
{
    auto *dialog = new QFileDialog(parent);
    // Qt's own dialog: the platform's native one cannot be answered by tests and differs
    // between desktops.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    if (!title.isEmpty())
        dialog->setWindowTitle(title);
    dialog->setDirectory(startFolder(directory));
    return dialog;
}

QString QtFilePanels::startFolder(const QString &asked) const
{
    if (!asked.isEmpty())
        return asked;
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        return m_lastFolder;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

QtFilePanels::QtFilePanels(QObject *parent) : QObject(parent) {}

Task<std::optional<QString>> QtFilePanels::chooseFileToOpen(QWidget *parent, OpenPanelOptions options)
{
    QFileDialog *dialog = makeDialog(parent, options.title, options.directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    if (!options.nameFilters.isEmpty())
        dialog->setNameFilters(options.nameFilters);
    co_return co_await run(dialog);
}

Task<std::optional<QString>> QtFilePanels::chooseSaveLocation(QWidget *parent, SavePanelOptions options)
{
    QFileDialog *dialog = makeDialog(parent, options.title, options.directory);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The caller may still change the name, so it confirms a replacement on the final one.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters = options.nameFilters;
    if (filters.isEmpty() && !options.allowedExtension.isEmpty())
        filters.append(QStringLiteral("*.") + options.allowedExtension);
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    if (!options.allowedExtension.isEmpty())
        dialog->setDefaultSuffix(options.allowedExtension);
    if (!options.suggestedName.isEmpty())
        dialog->selectFile(options.suggestedName);
    co_return co_await run(dialog);
}

Task<std::optional<QString>> QtFilePanels::run(QFileDialog *dialog)
{
    detail::DialogDisposer disposer(dialog);
    QPointer<QFileDialog> guard(dialog);
    QPointer<QtFilePanels> self(this);
    m_current = dialog;
    auto clearCurrent = qScopeGuard([&] {
        if (self && m_current == guard)
            m_current = nullptr;
    });
    // Named first: GCC 12 destroys a temporary lambda inside a co_await expression twice.
    std::function<void()> announce = [self, guard] {
        if (guard)
            widenColumns(guard);
        if (self && guard && self->m_current == guard)
            Q_EMIT self->panelShown(guard);
    };
    const int result = co_await detail::openAndWait(dialog, std::move(announce));
    if (result != QDialog::Accepted || !guard)
        co_return std::nullopt;
    const QStringList files = guard->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        co_return std::nullopt;
    if (self)
        self->m_lastFolder = QFileInfo(files.first()).absolutePath();
    co_return files.first();
}

} // namespace Platform
