#include "TextScreens/ScreenTexts.h"

namespace TextScreens::Texts {

QString Phrase::in(Language language) const
{
    switch (language) {
    case Language::simplified:
        return QString::fromUtf8(hans);
    case Language::traditional:
        return QString::fromUtf8(hant);
    case Language::english:
        return QString::fromUtf8(en);
    case Language::mixed:
        return QString::fromUtf8(mixed ? mixed : hans);
    }
    return {};
}

namespace {

const Phrase kMenuBar[] = {
    {"文件", "檔案", "File"},       {"编辑", "編輯", "Edit"},   {"视图", "檢視", "View", "View"},
    {"插入", "插入", "Insert"},     {"格式", "格式", "Format"}, {"工具", "工具", "Tools", "Git"},
    {"窗口", "視窗", "Window"},     {"帮助", "說明", "Help"},
};

const MenuItem kFileMenu[] = {
    {{"新建窗口", "新增視窗", "New Window"}, "Ctrl+N"},
    {{"打开文件…", "開啟檔案…", "Open File...", "打开 PDF 文件…"}, "Ctrl+O"},
    {{"最近使用", "最近使用的項目", "Open Recent"}, ""},
    {{"", "", ""}, "-"},
    {{"保存", "儲存", "Save"}, "Ctrl+S"},
    {{"另存为…", "另存新檔…", "Save As...", "导出为 HTML…"}, "Shift+Ctrl+S"},
    {{"打印…", "列印…", "Print..."}, "Ctrl+P"},
    {{"", "", ""}, "-"},
    {{"关闭窗口", "關閉視窗", "Close Window"}, "Ctrl+W"},
};

const MenuItem kEditMenu[] = {
    {{"撤销输入", "復原輸入", "Undo Typing"}, "Ctrl+Z"},
    {{"重做", "重做", "Redo"}, "Shift+Ctrl+Z"},
    {{"", "", ""}, "-"},
    {{"剪切", "剪下", "Cut"}, "Ctrl+X"},
    {{"复制", "拷貝", "Copy", "复制为 Markdown"}, "Ctrl+C"},
    {{"粘贴", "貼上", "Paste"}, "Ctrl+V"},
    {{"粘贴并匹配样式", "貼上並符合樣式", "Paste and Match Style"}, "Alt+Ctrl+V"},
    {{"全选", "全選", "Select All"}, "Ctrl+A"},
    {{"", "", ""}, "-"},
    {{"查找与替换…", "尋找與取代…", "Find and Replace...", "查找与替换 (Regex)…"}, "Ctrl+H"},
    {{"拼写和语法", "拼字與文法", "Spelling and Grammar"}, ""},
    {{"偏好设置", "偏好設定", "Preferences", "Settings 设置"}, "Ctrl+,"},
};

const Phrase kWindowTitles[] = {
    {"季度报告.txt — 文本编辑器", "季度報告.txt — 文字編輯器", "Quarterly Report.txt — Text Editor",
     "Q3 Report.txt — 文本编辑器"},
    {"系统设置", "系統設定", "System Settings", "系统设置 Settings"},
    {"消息", "訊息", "Messages", "消息 Chat"},
    {"config.c — 代码编辑器", "config.c — 程式碼編輯器", "config.c — Code Editor", "config.c — Code 编辑器"},
    {"新闻阅读", "新聞閱讀", "News Reader", "新闻 News"},
    {"文件管理器", "檔案管理員", "Files", "文件管理 Files"},
    {"Kivaro v2.3.1 发布说明 — 浏览器", "Kivaro v2.3.1 發佈說明 — 瀏覽器", "Kivaro v2.3.1 release notes — Browser",
     "下载 Kivaro v2.3.1 — 36.4 MB"},
};

const DialogText kDialogs[] = {
    {{"保存更改？", "儲存變更？", "Save changes?"},
     {"如果不保存，你对“季度报告”所做的更改将会丢失。请选择是否在关闭前保存这些更改。",
      "如果不儲存，你對「季度報告」所做的變更將會遺失。請選擇是否在關閉前儲存這些變更。",
      "If you don't save, your changes to \"Quarterly Report\" will be lost. Choose whether to save them before closing.",
      "如果不保存，你对 Q3 Report 所做的更改将会丢失。请选择是否在关闭前保存这些更改。"},
     {"不再询问", "不再詢問", "Don't ask again"},
     {"文件名", "檔案名稱", "File name", "文件名 (UTF-8)"},
     {"请输入文件名", "請輸入檔案名稱", "Enter a file name", "例如 report-2024.txt"},
     {"不保存", "不儲存", "Don't Save"},
     {"保存", "儲存", "Save"}},
    {{"无法连接到服务器", "無法連線到伺服器", "Cannot connect to the server", "无法连接到 VPN 服务器"},
     {"网络连接已断开，同步将在恢复连接后自动继续。你也可以稍后在设置中手动重试。",
      "網路連線已中斷，同步將在恢復連線後自動繼續。你也可以稍後在設定中手動重試。",
      "The network connection was lost. Syncing will resume automatically once you are back online.",
      "网络连接已断开 (Error 503)，同步将在恢复连接后自动继续。你也可以稍后手动重试。"},
     {"以后不再显示", "以後不再顯示", "Do not show this again"},
     {"服务器地址", "伺服器位址", "Server address", "Server 地址"},
     {"例如 192.168.1.10", "例如 192.168.1.10", "For example 192.168.1.10"},
     {"稍后", "稍後", "Later"},
     {"重试", "重試", "Try Again", "Retry"}},
    {{"删除这 3 个项目？", "刪除這 3 個項目？", "Delete these 3 items?"},
     {"这些项目将被永久删除，此操作无法撤销。删除前请确认没有需要保留的文件。",
      "這些項目將被永久刪除，此動作無法復原。刪除前請確認沒有需要保留的檔案。",
      "These items will be deleted permanently. This cannot be undone, so check that nothing needs to be kept.",
      "这些项目将被永久删除，此操作无法 Undo。删除前请确认没有需要保留的文件。"},
     {"同时删除备份", "同時刪除備份", "Also delete backups"},
     {"确认名称", "確認名稱", "Confirm name", "输入 DELETE 确认"},
     {"输入文件夹名称", "輸入資料夾名稱", "Type the folder name", "DELETE"},
     {"取消", "取消", "Cancel"},
     {"删除", "刪除", "Delete"}},
};

const Phrase kSettingsSections[] = {
    {"通用", "一般", "General"},
    {"外观", "外觀", "Appearance", "外观 Theme"},
    {"网络", "網路", "Network", "Wi-Fi 网络"},
    {"蓝牙", "藍牙", "Bluetooth"},
    {"通知", "通知", "Notifications"},
    {"隐私与安全", "隱私權與安全性", "Privacy & Security"},
    {"键盘", "鍵盤", "Keyboard"},
    {"显示器", "顯示器", "Displays", "显示器 HDMI"},
    {"声音", "聲音", "Sound"},
    {"电池", "電池", "Battery"},
    {"关于本机", "關於本機", "About"},
};

const Phrase kSettingsHeader[] = {
    {"项目", "項目", "Item"},
    {"当前值", "目前的值", "Value"},
    {"说明", "說明", "Notes"},
};

const SettingRow kSettingsRows[] = {
    {{"设备名称", "裝置名稱", "Device name"}, {"Kivaro-Desktop", "Kivaro-Desktop", "Kivaro-Desktop"},
     {"在局域网中显示", "在區域網路中顯示", "Shown on the local network", "在 LAN 中显示"}},
    {{"自动更新", "自動更新", "Automatic updates"}, {"开启", "開啟", "On", "ON"},
     {"每天检查一次", "每天檢查一次", "Checked once a day"}},
    {{"屏幕分辨率", "螢幕解析度", "Resolution"}, {"1920 × 1080", "1920 × 1080", "1920 × 1080"},
     {"推荐", "建議", "Recommended"}},
    {{"缩放比例", "縮放比例", "Scale"}, {"125%", "125%", "125%"}, {"文字更大", "文字更大", "Larger text"}},
    {{"存储空间", "儲存空間", "Storage"}, {"256 GB", "256 GB", "256 GB"},
     {"可用 118 GB", "可用 118 GB", "118 GB available"}},
    {{"系统版本", "系統版本", "System version"}, {"12.4", "12.4", "12.4"},
     {"上次更新于 3 月 2 日", "上次更新於 3 月 2 日", "Updated on March 2", "Build 22E261"}},
    {{"语言", "語言", "Language"}, {"简体中文", "繁體中文", "English", "简体中文 + English"},
     {"重新登录后生效", "重新登入後生效", "Applies after signing in again"}},
    {{"时区", "時區", "Time zone"}, {"北京时间", "台北時間", "Pacific Time", "UTC+8 北京"},
     {"自动设置", "自動設定", "Set automatically"}},
    {{"蓝牙", "藍牙", "Bluetooth"}, {"已连接 2 台设备", "已連接 2 部裝置", "2 devices connected"},
     {"键盘和耳机", "鍵盤和耳機", "Keyboard and headphones"}},
    {{"防火墙", "防火牆", "Firewall"}, {"关闭", "關閉", "Off", "OFF"},
     {"不建议关闭", "不建議關閉", "Not recommended"}},
    {{"屏幕保护程序", "螢幕保護程式", "Screen saver"}, {"5 分钟后", "5 分鐘後", "After 5 minutes"},
     {"仅在接通电源时", "僅在接上電源時", "Only when plugged in"}},
    {{"电池健康", "電池健康度", "Battery health"}, {"92%", "92%", "92%"}, {"正常", "正常", "Normal"}},
};

const Phrase kContacts[] = {
    {"张伟", "陳志明", "Alice Chen"},
    {"产品设计组", "專案小組", "Design Team", "Design 设计组"},
    {"李娜", "林怡君", "Bob Martin"},
    {"王芳", "黃建宏", "Carol Wu"},
    {"陈静", "張雅婷", "David Lee", "陳雅婷"},
};

const Phrase kContactPreviews[] = {
    {"好的，明天见", "好的，明天見", "See you tomorrow"},
    {"设计稿已经更新", "設計稿已經更新", "Mockups updated", "新版 UI 已上传"},
    {"周五之前交给我", "週五之前交給我", "Before Friday please"},
    {"收到，谢谢！", "收到，謝謝！", "Got it, thanks!"},
    {"晚上一起吃饭吗", "晚上一起吃飯嗎", "Dinner tonight?", "今晚有空嗎"},
};

const ChatMessage kConversation[] = {
    {false, {"明天上午的会议改到十点了", "明天上午的會議改到十點了", "Tomorrow's meeting moved to ten",
             "明天的 meeting 改到 10:00 了"}},
    {true, {"好的，我会准时参加", "好的，我會準時參加", "Sounds good, I will be there", "好的，我会准时参加"}},
    {false, {"设计稿已经发到群里了，大家看一下这个按钮的颜色是不是太浅了",
             "設計稿已經傳到群組了，大家看一下這個按鈕的顏色是不是太淺了",
             "I posted the new mockups to the group. Is the color of this button too light?",
             "我這邊的 build 還是失敗，麻煩看一下 log"}},
    {true, {"我觉得可以再调深一点", "我覺得可以再調深一點", "I think it could be a bit darker",
            "我看看，可能是 CMake 缓存的问题"}},
    {false, {"周五之前能把报告交给我吗？", "週五之前能把報告交給我嗎？", "Can you send me the report by Friday?",
             "API 文档更新到 v2.3 了吗？"}},
    {true, {"没问题，我今天下午就开始写，写完先发给你看", "沒問題，我今天下午就開始寫，寫完先傳給你看",
            "No problem, I will start this afternoon and send you a draft",
            "还没有，今天下午更新完发 PR 给你 review"}},
    {false, {"收到，谢谢！", "收到，謝謝！", "Got it, thanks!", "好的，謝謝！"}},
};

const Phrase kChatPlaceholder = {"输入消息…", "輸入訊息…", "Type a message..."};
const Phrase kChatSend = {"发送", "傳送", "Send"};
const Phrase kYesterday = {"昨天 21:03", "昨天 21:03", "Yesterday 21:03"};

const Phrase kCommentRead = {"读取配置文件并返回条目数", "讀取設定檔並傳回項目數", "Reads the configuration and returns the count",
                             "读取 config 文件并返回 entry 数量"};
const Phrase kCommentMissing = {"文件不存在", "檔案不存在", "the file does not exist", "file 不存在"};
const Phrase kCommentSkip = {"跳过注释行", "略過註解行", "skip comment lines", "跳过 # 注释"};
const Phrase kCommentSummary = {"返回最近的记录摘要", "傳回最近的紀錄摘要", "Returns a summary of recent records",
                                "返回最近 records 的摘要"};
const Phrase kCommentTitle = {"没有标题时使用默认值", "沒有標題時使用預設值", "fall back to a default title",
                              "没有 title 时使用默认值"};

const CodeLine kCSource[] = {
    {"#include <stdio.h>"},
    {"#include \"config.h\""},
    {""},
    {"// ", &kCommentRead},
    {"int load_config(const char *path, struct entry *out, int max)"},
    {"{"},
    {"    FILE *file = fopen(path, \"r\");"},
    {"    if (file == NULL) {"},
    {"        return -1; // ", &kCommentMissing},
    {"    }"},
    {"    int count = 0;"},
    {"    char line[256];"},
    {"    while (count < max && fgets(line, sizeof line, file)) {"},
    {"        if (line[0] == '#')"},
    {"            continue; // ", &kCommentSkip},
    {"        count += parse_entry(line, &out[count]);"},
    {"    }"},
    {"    fclose(file);"},
    {"    return count;"},
    {"}"},
};

const CodeLine kPythonSource[] = {
    {"import json"},
    {""},
    {"def summarize(records, limit=20):"},
    {"    # ", &kCommentSummary},
    {"    result = []"},
    {"    for index, record in enumerate(records[:limit]):"},
    {"        title = record.get(\"title\", \"untitled\")  # ", &kCommentTitle},
    {"        result.append(f\"{index + 1}. {title}\")"},
    {"    return \"\\n\".join(result)"},
};

const Phrase kEditorPosition = {"第 12 行，第 5 列", "第 12 行，第 5 欄", "Ln 12, Col 5", "Ln 12, 第 5 列"};

const Phrase kHeadline = {"城市夜间公交线路将于下月调整", "市區夜間公車路線將於下月調整", "Night bus routes in the city will change next month",
                          "City Night Bus 线路将于下月调整"};
const Phrase kByline = {"本报记者 刘洋 · 2024年3月14日", "本報記者 劉洋 · 2024年3月14日", "By Liu Yang · March 14, 2024",
                        "记者 Liu Yang · 2024-03-14"};

const Phrase kParagraphs[] = {
    {"根据交通部门发布的通知，从下个月起，市区将新增四条夜间公交线路，并对现有的六条线路进行调整。"
     "调整后的线路将覆盖更多住宅区和医院，末班车时间也将延长到凌晨一点。",
     "根據交通部門發布的通知，從下個月起，市區將新增四條夜間公車路線，並對現有的六條路線進行調整。"
     "調整後的路線將涵蓋更多住宅區和醫院，末班車時間也將延長到凌晨一點。",
     "According to a notice from the transport department, four new night bus routes will be added next month "
     "and six existing routes will be adjusted. The new routes will reach more homes and hospitals, and the last "
     "buses will run until one in the morning.",
     "根据交通部门发布的通知，从下个月起，市区将新增 4 条 Night Bus 线路，并对现有的 6 条线路进行调整。"
     "乘客可以通过 App 查询实时到站信息，末班车时间也将延长到 1:00 AM。"},
    {"许多上夜班的市民表示，这项调整能让他们不再依赖出租车。也有居民担心夜间车辆会带来噪音，"
     "交通部门回应称新车辆均为电动车，运行时的声音很小。",
     "許多上夜班的市民表示，這項調整能讓他們不再依賴計程車。也有居民擔心夜間車輛會帶來噪音，"
     "交通部門回應稱新車輛均為電動車，行駛時的聲音很小。",
     "Many residents who work night shifts said the change means they no longer have to rely on taxis. Some "
     "neighbours worry about noise, but the department said the new buses are electric and very quiet.",
     "许多上夜班的市民表示，这项调整能让他们不再依赖出租车。也有居民担心 noise 问题，"
     "交通部门回应称新车辆均为 EV 电动车，运行时的声音很小。"},
    {"新的时刻表将在本周五公布，市民可以在车站或官方网站上查看。",
     "新的時刻表將在本週五公布，市民可以在車站或官方網站上查看。",
     "The new timetable will be published on Friday at every station and on the official website.",
     "新的时刻表将在本周五公布，市民可以在车站或官网 www.example.org 上查看。"},
};

const Phrase kRelatedHeading = {"相关文章", "相關文章", "Related articles", "相关 Related"};
const Phrase kRelatedLinks[] = {
    {"地铁二号线延长段开通", "捷運二號線延伸段通車", "Metro line 2 extension opens", "Metro 2 号线延长段开通"},
    {"共享单车新规解读", "共享單車新規定解讀", "New rules for shared bikes"},
    {"春季花展本周末开幕", "春季花展本週末開幕", "Spring flower show opens", "Spring 花展周末开幕"},
    {"机场快线票价下调", "機場快線票價調降", "Airport express fares cut"},
};

const Phrase kBrowserTabs[] = {
    {"Kivaro v2.3.1 发布说明", "Kivaro v2.3.1 發佈說明", "Kivaro v2.3.1 release notes", "Kivaro v2.3.1 Release 发布说明"},
    {"臺灣新聞網 即時報導", "新闻资讯 实时报道", "Issue #1234 · Kivaro", "繁體中文 說明文件"},
    {"下载中心 - 示例网站", "下載中心 - 範例網站", "Downloads - Example", "Downloads 下载中心"},
    {"设置", "設定", "Settings", "Settings 设置"},
};

const Phrase kReleaseVersions[] = {
    {"v2.3.1", "v2.3.1", "v2.3.1"}, {"v2.3.0", "v2.3.0", "v2.3.0"}, {"v2.2.4", "v2.2.4", "v2.2.4"}, {"v2.1.0", "v2.1.0", "v2.1.0"},
};

const Phrase kReleaseHeading = {"Kivaro v2.3.1 发布说明", "Kivaro v2.3.1 發佈說明", "Kivaro v2.3.1 release notes", "Kivaro v2.3.1 Release Notes"};
const Phrase kReleaseMeta = {"发布于 2024-05-12 · 下载大小 36.4 MB", "發佈於 2024-05-12 · 下載大小 36.4 MB",
                             "Released 2024-05-12 · Download size 36.4 MB", "Released 2024-05-12 · 下载大小 36.4 MB"};
const Phrase kReleaseNotes[] = {
    {"修复深色模式下标签页顺序错误的问题 (#1234)", "修正深色模式下分頁順序錯誤的問題 (#1234)", "Fixed the order of tabs in dark mode (#1234)",
     "修复 dark mode 下 tab 顺序错误 (#1234)"},
    {"新增繁体中文界面 #1187", "新增簡體中文介面 #1187", "Added a Traditional Chinese interface #1187", "新增 zh-Hant 界面 #1187"},
    {"升级 Qt 到 v6.4.2，OpenSSL 到 v3.0.11", "升級 Qt 至 v6.4.2，OpenSSL 至 v3.0.11", "Updated Qt to v6.4.2 and OpenSSL to v3.0.11",
     "升级 Qt 到 v6.4.2 和 OpenSSL 到 v3.0.11"},
    {"安装包缩小了 12%，下载大小 36.4 MB", "安裝檔縮小了 12%，下載大小 36.4 MB", "The installer is 12% smaller, 36.4 MB to download",
     "安装包缩小 12%，下载大小 36.4 MB"},
    {"已知问题：在 Wayland 下截图需要授权 #1301", "已知問題：在 Wayland 下截圖需要授權 #1301", "Known issue: capturing on Wayland asks for permission #1301",
     "Known issue：Wayland 下截图需要授权 #1301"},
};
const Phrase kDownloadButton = {"下载 v2.3.1", "下載 v2.3.1", "Download v2.3.1", "Download 下载 v2.3.1"};

const Phrase kPlaces[] = {
    {"桌面", "桌面", "Desktop"},   {"文稿", "文件", "Documents"}, {"下载", "下載", "Downloads"},
    {"图片", "圖片", "Pictures"}, {"音乐", "音樂", "Music"},     {"回收站", "資源回收筒", "Trash"},
};

const Phrase kPanelActivities = {"活动", "活動", "Activities"};
const Phrase kPanelClock = {"3月14日 14:32", "3月14日 14:32", "Mar 14 14:32"};
const Phrase kDocumentText = {
    "会议纪要：本季度的销售额比去年同期增长了百分之十二，主要来自新开设的线上渠道。",
    "會議紀要：本季的銷售額比去年同期成長了百分之十二，主要來自新開設的線上通路。",
    "Meeting notes: sales this quarter grew twelve percent over last year, mostly through the new online store.",
    "会议纪要：Q3 销售额同比增长 12%，主要来自新开设的 Online Store 渠道。"};
const Phrase kStatusLine = {"字数：1,024", "字數：1,024", "Words: 1,024", "字数 Words: 1,024"};

} // namespace

std::span<const Phrase> menuBar() { return kMenuBar; }
std::span<const MenuItem> fileMenu() { return kFileMenu; }
std::span<const MenuItem> editMenu() { return kEditMenu; }
std::span<const Phrase> windowTitles() { return kWindowTitles; }
std::span<const DialogText> dialogs() { return kDialogs; }
std::span<const Phrase> settingsSections() { return kSettingsSections; }
const Phrase &settingsHeader(int column) { return kSettingsHeader[column]; }
std::span<const SettingRow> settingsRows() { return kSettingsRows; }
std::span<const Phrase> contacts() { return kContacts; }
std::span<const Phrase> contactPreviews() { return kContactPreviews; }
std::span<const ChatMessage> conversation() { return kConversation; }
const Phrase &chatPlaceholder() { return kChatPlaceholder; }
const Phrase &chatSend() { return kChatSend; }
const Phrase &yesterday() { return kYesterday; }
std::span<const CodeLine> cSource() { return kCSource; }
std::span<const CodeLine> pythonSource() { return kPythonSource; }
const Phrase &editorPosition() { return kEditorPosition; }
const Phrase &articleHeadline() { return kHeadline; }
const Phrase &articleByline() { return kByline; }
std::span<const Phrase> articleParagraphs() { return kParagraphs; }
const Phrase &relatedHeading() { return kRelatedHeading; }
std::span<const Phrase> relatedLinks() { return kRelatedLinks; }
std::span<const Phrase> browserTabs() { return kBrowserTabs; }
std::span<const Phrase> releaseVersions() { return kReleaseVersions; }
const Phrase &releaseHeading() { return kReleaseHeading; }
const Phrase &releaseMeta() { return kReleaseMeta; }
std::span<const Phrase> releaseNotes() { return kReleaseNotes; }
const Phrase &downloadButton() { return kDownloadButton; }
std::span<const Phrase> places() { return kPlaces; }
const Phrase &panelActivities() { return kPanelActivities; }
const Phrase &panelClock() { return kPanelClock; }
const Phrase &documentText() { return kDocumentText; }
const Phrase &statusLine() { return kStatusLine; }

} // namespace TextScreens::Texts
