#include "FuzzTargets.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotRenderer.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Markup/DocumentLimits.h"

#include <QCoreApplication>
#include <QEvent>

namespace Kivaro::Fuzz {

namespace {

// Reading a project, as the editor and the recent shots do, ends in one of these errors.
template <typename Body>
bool refusedAsDocumented(Body body)
{
    try {
        body();
        return false;
    } catch (const ShotError &) {
    } catch (const FileError &) {
    } catch (const Platform::MarkupDataError &) {
    }
    return true;
}

} // namespace

int fuzzProject(const uint8_t *data, size_t size)
{
    const QString path = scratchFolder() + QStringLiteral("/input.kivaro");
    check(writeScratchFile(path, data, size), "the project file can be written");
    {
        ShotDocument document;
        if (refusedAsDocumented([&] { document.open(path); }))
            return 0;
        document.reconcile();
        const ShotState opened = document.state();
        // The recent shots' preview and the copy to the pasteboard, at a small size.
        for (bool forRecognition : {false, true}) {
            try {
                ShotRenderer::render(opened, 128, forRecognition);
            } catch (const ShotError &) {
            }
        }
        // What opened can be saved, and the saved file opens to the same state.
        QByteArray saved;
        try {
            saved = ProjectArchive::encodeNow(opened);
        } catch (const ShotError &) {
            check(false, "a project that opened can be saved");
        }
        ShotState reread;
        check(!refusedAsDocumented([&] { reread = ProjectArchive::decode(saved); }), "a saved project opens again");
        check(Platform::DocumentLimits::canvasFits(reread.markup.bounds()), "a saved project's canvas fits");
        reread.markup.setBackgroundColor(Qt::transparent);
        check(reread == opened, "a saved project opens to the state that was saved");
    }
    // The document's canvas goes with deleteLater; no event loop runs between inputs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

} // namespace Kivaro::Fuzz
