// The capture-completion preferences as stored, and their two switches in the settings window.

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/shell/capture/CaptureCompletion.h"
#include "Platform/Defaults/UserDefaults.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using Kivaro::CaptureCompletionPreferences;
using Kivaro::CaptureCompletionSettings;

namespace {

class CompletionPreferences : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear()
    {
        defaults().remove(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey));
        defaults().remove(QString::fromLatin1(CaptureCompletionPreferences::copiesImageKey));
    }
    static Platform::UserDefaults defaults() { return Platform::UserDefaults::standard(); }
    static void set(const char *key, const QVariant &value) { defaults().set(QString::fromLatin1(key), value); }
};

} // namespace

TEST_F(CompletionPreferences, AbsentKeysCopyAndDoNotOpenAndOddValuesFollowTheirRules)
{
    EXPECT_EQ(CaptureCompletionPreferences::read(defaults()), (CaptureCompletionPreferences{false, true}));
    // The editor key takes the store's Boolean reading; the copy key counts only a Boolean.
    set(CaptureCompletionPreferences::opensEditorKey, QStringLiteral("YES"));
    set(CaptureCompletionPreferences::copiesImageKey, 0);
    EXPECT_EQ(CaptureCompletionPreferences::read(defaults()), (CaptureCompletionPreferences{true, true}));
    set(CaptureCompletionPreferences::opensEditorKey, 0);
    set(CaptureCompletionPreferences::copiesImageKey, false);
    EXPECT_EQ(CaptureCompletionPreferences::read(defaults()), (CaptureCompletionPreferences{false, false}));
}

TEST_F(CompletionPreferences, TheSwitchesShowTheStoredValuesCopyFirstAndEitherOneWritesBothKeys)
{
    set(CaptureCompletionPreferences::opensEditorKey, true);
    CaptureCompletionSettings settings(defaults());
    EXPECT_TRUE(settings.opensEditor()->isChecked());
    EXPECT_TRUE(settings.copiesImage()->isChecked());
    EXPECT_TRUE(settings.opensEditor()->isToggle());
    EXPECT_EQ(settings.copiesImage()->text(), QStringLiteral("截图后复制到剪贴板"));
    EXPECT_EQ(settings.opensEditor()->text(), QStringLiteral("截图后进入标注"));
    settings.resize(settings.sizeHint());
    settings.show();
    EXPECT_LT(settings.copiesImage()->y(), settings.opensEditor()->y()) << "the copy switch stands above";

    ASSERT_FALSE(defaults().contains(QString::fromLatin1(CaptureCompletionPreferences::copiesImageKey)));
    settings.opensEditor()->click();
    EXPECT_EQ(defaults().object(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey)), QVariant(false));
    EXPECT_EQ(defaults().object(QString::fromLatin1(CaptureCompletionPreferences::copiesImageKey)), QVariant(true));
    settings.copiesImage()->click();
    EXPECT_EQ(CaptureCompletionPreferences::read(defaults()), (CaptureCompletionPreferences{false, false}));
}

TEST_F(CompletionPreferences, AFailedWriteTurnsTheSwitchBackAndSaysSo)
{
    CaptureCompletionSettings settings(defaults());
    QString said;
    settings.failed = [&](const QString &message) { said = message; };
    // The preferences folder replaced by a file: nothing can be written there.
    const QString folder = Platform::UserDefaults::folder();
    const QString aside = folder + QStringLiteral(".aside");
    ASSERT_TRUE(QDir().rename(folder, aside));
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings.opensEditor()->click();
    QFile::remove(folder);
    ASSERT_TRUE(QDir().rename(aside, folder));
    EXPECT_FALSE(settings.opensEditor()->isChecked());
    EXPECT_FALSE(said.isEmpty());
    EXPECT_FALSE(CaptureCompletionPreferences::read(defaults()).opensEditor);
}
