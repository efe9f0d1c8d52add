// What the tests that start the real kivaro process share: an X server of their own (openbox on
// request), private XDG folders below a temporary home, the run itself with its collected
// output, and a fingerprint of the user's folders to show that a run left them untouched.

#pragma once

#include "Platform/ScreenCapture/X11TestDisplay.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace KivaroProcessTesting {

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

QByteArray contents(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);
QStringList files(const QString &folder);
QJsonObject record(const QString &path);

class KivaroProcessFixture : public ::testing::Test {
protected:
    // `homeName`: the temporary home's name pattern below the temporary folder.
    explicit KivaroProcessFixture(const QString &homeName = QStringLiteral("kivaro-verify-XXXXXX"));

    // Makes the private folders and seeds the user's state.
    void SetUp() override;
    // Every run leaves the user's state as seeded and nothing in the run's temporary folder.
    void TearDown() override;

    // The private config, data, cache, runtime and temporary folders below the home.
    void makePrivateFolders();
    // The user's own preferences, a recent shot, a desktop entry and a cached file, which no run
    // may touch; remembered in `userState`.
    void seedUserState();
    // Every file below the private config, data and cache folders with a digest of its bytes.
    QStringList fingerprint() const;

    QString evidence(const QString &name = QStringLiteral("evidence")) const;

    // The environment of a run: the private folders, no session bus, the given language and
    // Qt platform.
    QProcessEnvironment privateEnvironment(const QString &language, const QString &platform) const;
    // Runs kivaro with `arguments` for at most `timeoutMs`; `finished` is false when it did not
    // end in that time (it is killed then).
    static Outcome runKivaro(const QProcessEnvironment &env, const QStringList &arguments, int timeoutMs = 60000);
    // The same with arguments as bytes, which need not be UTF-8 text (QProcess passes text).
    static Outcome runKivaroWithBytes(const QProcessEnvironment &env, const QList<QByteArray> &arguments, int timeoutMs = 60000);

    TestSupport::X11TestDisplay display;
    QTemporaryDir home;
    QStringList userState;
};

} // namespace KivaroProcessTesting
