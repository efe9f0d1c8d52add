#include "Kivaro/shell/internal/ShellErrors.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Defaults/UserDefaults.h"
#include "TellumoRuntime/TellumoLocalization.h"

namespace Kivaro::Shell::detail {

QString errorDescription(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ShotError &shot) {
        return shot.text();
    } catch (const Platform::DefaultsWriteError &write) {
        return kivaroFormat(QStringLiteral("设置无法保存：无法写入“%@”。"), {write.path()});
    } catch (const Tellumo::TellumoError &tellumo) {
        return Tellumo::tellumoErrorText(tellumo);
    } catch (const std::exception &other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
    }
    return {};
}

} // namespace Kivaro::Shell::detail
