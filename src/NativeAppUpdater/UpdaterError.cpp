#include "NativeAppUpdater/UpdaterError.h"

#include "NativeAppUpdater/UpdaterCopy.h"

namespace NativeAppUpdater {

QString UpdateFileError::localizedDescription() const
{
    return updaterFormat("无法处理更新文件：%@", {detail()});
}

} // namespace NativeAppUpdater
