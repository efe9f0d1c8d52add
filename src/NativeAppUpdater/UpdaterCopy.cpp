#include "NativeAppUpdater/UpdaterCopy.h"

#include "NativeAppUpdater/NativeBundle.h"

#include "KivaroCore/Localization.h"

#include <QHash>
#include <QRegularExpression>

#include <array>

namespace NativeAppUpdater {

namespace {

struct Entry {
    const char *source;
    const char *english;
    const char *traditionalChinese;
};

// One constant list for both tables, in the order the texts appear in the updater. The first
// thirty-five are the updater's texts proper; the rest name the failures that downloads, the
// manifest decoder and the release keys can meet here.
constexpr std::array entries{
    Entry{"版本 %@（%@）", "Version %@ (%@)", "版本 %@（%@）"},
    Entry{"开发版不自动更新", "Development builds do not update automatically", "開發版不會自動更新"},
    Entry{"自动提示新版已开启", "Automatic update checks are on", "已開啟自動提示新版本"},
    Entry{"自动提示新版已关闭", "Automatic update checks are off", "已關閉自動提示新版本"},
    Entry{"正在检查更新…", "Checking for updates…", "正在檢查更新…"},
    Entry{"已经是最新版本", "You're up to date", "目前已是最新版本"},
    Entry{"发现新版本 %@", "Version %@ is available", "發現新版本 %@"},
    Entry{"正在下载 %@…", "Downloading %@…", "正在下載 %@…"},
    Entry{"%@ 已下载，等待重启", "%@ downloaded; restart to install", "%@ 已下載，等待重新啟動"},
    Entry{"下载更新", "Download Update", "下載更新"},
    Entry{"重启并更新", "Restart and Update", "重新啟動並更新"},
    Entry{"检查更新", "Check for Updates", "檢查更新"},
    Entry{"开发版不检查正式更新。", "Development builds do not check for production updates.", "開發版不檢查正式更新。"},
    Entry{"%@ 已经是最新版本。", "%@ is up to date.", "%@ 已是最新版本。"},
    Entry{"检查更新失败：%@", "Update check failed: %@", "檢查更新失敗：%@"},
    Entry{"%@ %@ 可更新", "%@ %@ is available", "%@ %@ 可更新"},
    Entry{"可以现在下载。下载并校验完成后，应用会询问是否重启完成更新。",
          "You can download it now. After verification, the app will ask to restart and finish the update.",
          "可以立即下載。完成下載與驗證後，App 會詢問是否重新啟動以完成更新。"},
    Entry{"本次更新", "What's New", "本次更新"},
    Entry{"更新日志", "Changelog", "更新日誌"},
    Entry{"完成", "Done", "完成"},
    Entry{"更新日志暂不可用。", "The changelog is temporarily unavailable.", "更新日誌暫時無法使用。"},
    Entry{"稍后", "Later", "稍後"},
    Entry{"下载更新失败：%@", "Update download failed: %@", "下載更新失敗：%@"},
    Entry{"%@ %@ 已准备好", "%@ %@ is ready", "%@ %@ 已準備好"},
    Entry{"重启应用即可完成更新。", "Restart the app to finish updating.", "重新啟動 App 即可完成更新。"},
    Entry{"无法启动更新：%@", "Unable to start the update: %@", "無法啟動更新：%@"},
    Entry{"好", "OK", "好"},
    Entry{"更新包已损坏，请重新下载。", "The update archive is damaged. Download it again.", "更新套件已損毀，請重新下載。"},
    Entry{"更新包未通过开发者签名或公证校验。", "The update failed developer signature or notarization verification.",
          "更新套件未通過開發者簽章或公證驗證。"},
    Entry{"无法替换当前应用，请确认应用位于“应用程序”文件夹且当前用户有写入权限。",
          "The app could not be replaced. Make sure it is in Applications and your account can write to it.",
          "無法取代目前的 App，請確認 App 位於「應用程式」資料夾，且目前使用者具有寫入權限。"},
    Entry{"更新清单版本不受支持。", "This update manifest version is not supported.", "不支援此更新清單版本。"},
    Entry{"更新包不属于当前应用。", "This update does not belong to the current app.", "更新套件不屬於目前的 App。"},
    Entry{"更新版本信息无效。", "The update version is invalid.", "更新版本資訊無效。"},
    Entry{"更新下载地址无效。", "The update download address is invalid.", "更新下載位址無效。"},
    Entry{"更新包校验值无效。", "The update checksum is invalid.", "更新套件檢查碼無效。"},
    Entry{"此版本未内置发布公钥，无法校验更新包。", "This build has no release keys, so it cannot verify updates.",
          "此版本未內建發佈公鑰，無法驗證更新套件。"},
    Entry{"更新清单不是有效的 JSON。", "The update manifest is not valid JSON.", "更新清單不是有效的 JSON。"},
    Entry{"更新清单缺少“%@”。", "The update manifest lacks “%@”.", "更新清單缺少「%@」。"},
    Entry{"更新清单中“%@”的类型不对。", "The update manifest has the wrong type for “%@”.", "更新清單中「%@」的類型不正確。"},
    Entry{"服务器的响应无效。", "The server returned an invalid response.", "伺服器的回應無效。"},
    Entry{"下载的内容超过了大小上限。", "The download exceeds its size limit.", "下載的內容超過了大小上限。"},
    Entry{"下载被重定向到不受信任的地址。", "The download was redirected to an untrusted address.", "下載被重新導向至不受信任的位址。"},
    Entry{"连接更新服务器超时。", "The connection to the update server timed out.", "連線更新伺服器逾時。"},
    Entry{"无法连接到更新服务器。", "Could not connect to the update server.", "無法連線至更新伺服器。"},
    Entry{"无法与更新服务器建立安全连接。", "A secure connection to the update server could not be made.", "無法與更新伺服器建立安全連線。"},
    Entry{"网络请求失败：%@", "The network request failed: %@", "網路請求失敗：%@"},
    Entry{"无法处理更新文件：%@", "The update files could not be handled: %@", "無法處理更新檔案：%@"},
    Entry{"磁盘空间不足", "not enough disk space", "磁碟空間不足"},
    Entry{"没有写入权限", "no permission to write", "沒有寫入權限"},
    Entry{"找不到文件", "a file is missing", "找不到檔案"},
    Entry{"文件操作失败", "a file operation failed", "檔案操作失敗"},
    Entry{"连接中断", "the connection was interrupted", "連線中斷"},
    Entry{"服务器拒绝了请求", "the server refused the request", "伺服器拒絕了請求"},
    Entry{"协议错误", "a protocol error", "協定錯誤"},
    Entry{"未知原因", "an unknown cause", "未知原因"},
    Entry{"无法保存更新设置。", "The update setting could not be saved.", "無法儲存更新設定。"},
};

struct Tables {
    QHash<QString, QString> english;
    QHash<QString, QString> traditionalChinese;
};

// Built once, on first use; C++ guarantees a thread-safe initialisation of a local static.
const Tables &tables()
{
    static const Tables built = [] {
        Tables t;
        for (const Entry &entry : entries) {
            const QString source = QString::fromUtf8(entry.source);
            Q_ASSERT_X(!t.english.contains(source), "updaterCopy", "duplicate source text");
            t.english.insert(source, QString::fromUtf8(entry.english));
            t.traditionalChinese.insert(source, QString::fromUtf8(entry.traditionalChinese));
        }
        return t;
    }();
    return built;
}

} // namespace

QString normalizedLanguageTag(const QString &language)
{
    QString tag = language.trimmed();
    const qsizetype cut = tag.indexOf(QRegularExpression(QStringLiteral("[.@]")));
    if (cut >= 0)
        tag.truncate(cut);
    return tag.replace(QLatin1Char('_'), QLatin1Char('-')).toLower();
}

UpdaterLanguage updaterLanguageFor(bool bundleDeclaresLocalizations, const QString &firstPreferredLanguage)
{
    if (!bundleDeclaresLocalizations)
        return UpdaterLanguage::english;
    QString tag = normalizedLanguageTag(firstPreferredLanguage);
    if (tag.isEmpty())
        tag = QStringLiteral("en");
    if (!tag.startsWith(QLatin1String("zh")))
        return UpdaterLanguage::english;
    for (const char *marker : {"hant", "-tw", "-hk", "-mo"}) {
        if (tag.contains(QLatin1String(marker)))
            return UpdaterLanguage::traditionalChinese;
    }
    return UpdaterLanguage::simplifiedChinese;
}

UpdaterLanguage currentUpdaterLanguage()
{
    bool declares = false;
    if (const auto bundle = NativeBundle::main()) {
        const QVariant localizations = bundle->infoDictionary().value(QStringLiteral("CFBundleLocalizations"));
        if (localizations.typeId() == QMetaType::QVariantList) {
            declares = true;
            for (const QVariant &item : localizations.toList())
                declares = declares && item.typeId() == QMetaType::QString;
        }
    }
    const QStringList preferred = Kivaro::StringTable::preferredLanguages();
    return updaterLanguageFor(declares, preferred.isEmpty() ? QString() : preferred.first());
}

QString updaterCopy(const QString &source, UpdaterLanguage language)
{
    const QHash<QString, QString> *table = nullptr;
    switch (language) {
    case UpdaterLanguage::simplifiedChinese:
        return source;
    case UpdaterLanguage::english:
        table = &tables().english;
        break;
    case UpdaterLanguage::traditionalChinese:
        table = &tables().traditionalChinese;
        break;
    }
    const auto it = table->constFind(source);
    return it == table->cend() ? source : *it;
}

QString updaterCopy(const QString &source)
{
    return updaterCopy(source, currentUpdaterLanguage());
}

QString updaterFormat(const QString &format, std::initializer_list<QString> arguments)
{
    const QString looked = updaterCopy(format);
    QString out;
    out.reserve(looked.size() + 32);
    auto next = arguments.begin();
    for (qsizetype i = 0; i < looked.size(); ++i) {
        if (looked[i] == QLatin1Char('%') && i + 1 < looked.size() && looked[i + 1] == QLatin1Char('@')) {
            if (next != arguments.end())
                out += *next++;
            ++i;
            continue;
        }
        out += looked[i];
    }
    return out;
}

QStringList updaterSourceTexts()
{
    QStringList texts;
    for (const Entry &entry : entries)
        texts << QString::fromUtf8(entry.source);
    return texts;
}

} // namespace NativeAppUpdater
