#include "Kivaro/editor/internal/ErrorText.h"

#include "Kivaro/document/FileError.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Markup/Markup.h"
#include "TellumoRuntime/TellumoLocalization.h"

namespace Kivaro::detail {

QString errorText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ShotError &e) {
        return e.description();
    } catch (const Platform::MarkupDataError &e) {
        return e.message();
    } catch (const Tellumo::TellumoError &e) {
        return Tellumo::tellumoErrorText(e);
    } catch (const FileError &e) {
        // The system's description stands after a sentence of ours that names the file.
        return withLibraryDetail(kivaroFormat("“%@”无法读取或写入", e.path()), e.description());
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QString();
    }
}

} // namespace Kivaro::detail
