#include "NativeAppUpdater/UpdaterError.h"

#include "NativeAppUpdater/UpdaterCopy.h"

#include <cerrno>

namespace NativeAppUpdater {

QString UpdateFileError::localizedDescription() const
{
    QString cause;
    switch (m_systemError) {
    case ENOSPC:
    case EDQUOT:
        cause = updaterCopy("磁盘空间不足");
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        cause = updaterCopy("没有写入权限");
        break;
    case ENOENT:
        cause = updaterCopy("找不到文件");
        break;
    default:
        cause = updaterCopy("文件操作失败");
        break;
    }
    return updaterFormat("无法处理更新文件：%@", {cause});
}

} // namespace NativeAppUpdater
