#include "FuzzTargets.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotRenderer.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Markup/DocumentLimits.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdio>
#include <optional>

namespace Kivaro::Fuzz {

namespace {

// Reading a project, as the editor and the recent shots do, ends in one of these errors: the
// refusal's text, or nothing when `body` succeeded.
template <typename Body>
std::optional<QString> refusal(Body body)
{
    try {
        body();
        return std::nullopt;
    } catch (const ShotError &error) {
        return error.text();
    } catch (const FileError &error) {
        return error.description();
    } catch (const Platform::MarkupDataError &error) {
        return error.message() + QStringLiteral(": ") + error.detail();
    }
}

// The markup's first image: the shot's picture.
std::optional<Platform::ImageElement> bottomPicture(const Platform::Markup &markup)
{
    for (const Platform::MarkupElement &element : markup.subelements())
        if (const Platform::ImageElement *image = element.image())
            return *image;
    return std::nullopt;
}

// Opens the project as the editor does, renders it, saves it and reads the saved bytes again.
void openRenderSaveAndReread(const QString &path)
{
    ShotDocument document;
    if (refusal([&] { document.open(path); }))
        return;
    const std::optional<Platform::ImageElement> picture = bottomPicture(document.markup());
    document.reconcile();
    const ShotState opened = document.state();
    // The repair never takes the picture: what opened with one still has it, as it was.
    if (picture) {
        const Platform::ImageElement *kept = opened.markup.subelements().image(picture->id);
        check(kept && kept->frame == picture->frame && kept->image.size() == picture->image.size(), "the repair keeps the picture");
    }
    // As the recent shots' preview and text recognition do, at a small size.
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
    const auto refused = refusal([&] { reread = ProjectArchive::decode(saved); });
    if (refused)
        std::fprintf(stderr, "saved project refused: %s\n", qPrintable(*refused));
    check(!refused, "a saved project opens again");
    check(Platform::DocumentLimits::canvasFits(reread.markup.bounds()), "a saved project's canvas fits");
    reread.markup.setBackgroundColor(Qt::transparent);
    check(reread == opened, "a saved project opens to the state that was saved");
}

} // namespace

int fuzzProject(const uint8_t *data, size_t size)
{
    const QString path = scratchFolder() + QStringLiteral("/input.kivaro");
    check(writeScratchFile(path, data, size), "the project file can be written");
    openRenderSaveAndReread(path);
    // Widgets may leave deferred deletions behind; no event loop runs between inputs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

} // namespace Kivaro::Fuzz
