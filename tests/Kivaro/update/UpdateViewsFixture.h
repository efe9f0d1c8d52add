#pragma once
// Long release notes in both languages, and pictures of the update views in both appearances
// at 1× and 2× (written to $KIVARO_UPDATE_SNAPSHOTS when that names a folder, for a look).

#include "NativeAppAppearance/AppearanceManager.h"

#include <QDir>
#include <QImage>
#include <QWidget>

namespace UpdateViewsTesting {

inline QString longChineseNotes()
{
    return QStringLiteral(
        "## Kivaro 2.0 更新内容\n\n"
        "这是一次较大的更新，改进了截图、标注和文字识别的许多细节，让日常使用更顺手、更可靠。\n\n"
        "1. 截图时可以按住空格键移动整个选区，松开后继续调整大小，不会丢失已经选好的范围。\n"
        "2. 文字气泡会自动避开箭头和其它标注，长段中文也能在合适的位置换行。\n"
        "3. 马赛克区域在导出时保持透明背景，复制到其它应用后不会出现黑边。\n"
        "4. 最近截图窗口可以直接分享任意一张截图，也能继续编辑。\n"
        "5. 语音标注在识别失败时保留录音，可以稍后重试。\n\n"
        "- **更快**：冻结屏幕的速度提高了一倍以上。\n"
        "- *更稳*：修复了多显示器下偶尔选错窗口的问题。\n"
        "- 详细说明请见 [更新日志](https://kivaro.example/zh/changelog/)。\n\n"
        "> 提示：如果自动检查更新已关闭，可以在设置中随时手动检查。\n\n"
        "```\nkivaro --verify-update-archive Kivaro-2.0.zip 2.0 200 <sha256>\n```");
}

inline QString longEnglishNotes()
{
    return QStringLiteral(
        "## What's new in Kivaro 2.0\n\n"
        "A larger release that smooths out many details of capturing, annotating and recognising "
        "text, so everyday use feels quicker and more dependable.\n\n"
        "1. Hold the space bar while selecting to move the whole selection, then keep resizing it.\n"
        "2. Text bubbles avoid arrows and other annotations, and long paragraphs wrap where they should.\n"
        "3. Privacy masks keep a transparent background when exported.\n"
        "4. Any recent shot can be shared straight from the recent-shots window, or edited again.\n"
        "5. A voice note whose transcription failed keeps its recording for a retry.\n\n"
        "- **Faster**: freezing the screens takes less than half the time.\n"
        "- *Steadier*: picking a window on several displays no longer picks the wrong one.\n"
        "- Read the [full changelog](https://kivaro.example/changelog/) for everything else.\n\n"
        "> Automatic checks are off? You can check for updates by hand in Settings at any time.");
}

// The widget drawn at `scale`; saved as "<name>-<appearance>-<scale>x.png" when asked for.
inline QImage picture(QWidget *widget, const QString &name, NativeAppAppearance::Appearance appearance, int scale)
{
    QImage image(widget->size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    widget->render(&image);
    const QString folder = qEnvironmentVariable("KIVARO_UPDATE_SNAPSHOTS");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        image.save(QStringLiteral("%1/%2-%3-%4x.png").arg(folder, name, NativeAppAppearance::appearanceName(appearance)).arg(scale));
    return image;
}

} // namespace UpdateViewsTesting
