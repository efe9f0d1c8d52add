#include "Platform/Dialogs/QtFilePanels.h"

#include "Platform/Dialogs/internal/DialogWaits.h"

#include <QFileDialog>
#include <QScopeGuard>

namespace Platform {

namespace {

QFileDialog *makeDialog(QWidget *parent, const QString &title, const QString &directory)
{
    auto *dialog = new QFileDialog(parent);
    // Qt's own dialog: the platform's native one cannot be answered by tests and differs
    // between desktops.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    if (!title.isEmpty())
        dialog->setWindowTitle(title);
    if (!directory.isEmpty())
        dialog->setDirectory(directory);
    return dialog;
}

} // namespace

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
        if (self && guard && self->m_current == guard)
            Q_EMIT self->panelShown(guard);
    };
    const int result = co_await detail::openAndWait(dialog, std::move(announce));
    if (result != QDialog::Accepted || !guard)
        co_return std::nullopt;
    const QStringList files = guard->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        co_return std::nullopt;
    co_return files.first();
}

} // namespace Platform
