// Replays every kept fuzz input through its target: the seeds of fuzz/corpus/<target>/ and
// every input that ever crashed, hung or blew memory, in fuzz/regressions/<target>/. Each must
// come back normally; a crash ends this executable, naming the input it was replaying.

#include "FuzzTargets.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <set>

#include <unistd.h>

namespace {

using Kivaro::Fuzz::Target;

// Inputs whose decoder fix has not landed on this branch yet, as paths below fuzz/. They are
// skipped, loudly; the list is emptied when the fixes are merged.
const std::set<QString> kAwaitingFix = {
};

QString fuzzFolder()
{
    return QStringLiteral(KIVARO_SOURCE_DIR "/fuzz");
}

struct Input {
    QString target;
    QString path; // below fuzz/
};

std::vector<Input> keptInputs()
{
    std::vector<Input> inputs;
    for (const char *kind : {"corpus", "regressions"}) {
        for (const Target &target : Kivaro::Fuzz::targets()) {
            const QString folder = QStringLiteral("%1/%2").arg(QLatin1String(kind), QLatin1String(target.name));
            QStringList files = QDir(fuzzFolder() + QLatin1Char('/') + folder).entryList(QDir::Files | QDir::Hidden);
            files.sort();
            for (const QString &file : files)
                inputs.push_back({QLatin1String(target.name), folder + QLatin1Char('/') + file});
        }
    }
    return inputs;
}

// The input being replayed, for the report of a crash. Written before each input, read only
// by the signal handler.
char g_current[4096];

void reportCrash(int signal)
{
    const char prefix[] = "\n==== crashed while replaying fuzz/";
    ssize_t ignored = ::write(STDERR_FILENO, prefix, sizeof(prefix) - 1);
    ignored = ::write(STDERR_FILENO, g_current, std::strlen(g_current));
    ignored = ::write(STDERR_FILENO, "\n", 1);
    (void)ignored;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class FuzzReplay : public ::testing::TestWithParam<Input> {};

TEST_P(FuzzReplay, ReturnsNormally)
{
    const Input &input = GetParam();
    if (kAwaitingFix.count(input.path))
        GTEST_SKIP() << "fuzz/" << input.path.toStdString() << " waits for its decoder fix";
    QFile file(fuzzFolder() + QLatin1Char('/') + input.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QByteArray bytes = file.readAll();
    const QByteArray name = input.path.toUtf8();
    std::strncpy(g_current, name.constData(), sizeof(g_current) - 1);
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(signal, reportCrash);
    for (const Target &target : Kivaro::Fuzz::targets()) {
        if (input.target == QLatin1String(target.name)) {
            EXPECT_EQ(target.run(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
        }
    }
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(signal, SIG_DFL);
}

std::string testName(const ::testing::TestParamInfo<Input> &info)
{
    std::string name = info.param.path.toStdString();
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(KeptInputs, FuzzReplay, ::testing::ValuesIn(keptInputs()), testName);

TEST(FuzzCorpus, EveryTargetHasSeedsAndEveryFolderATarget)
{
    std::set<QString> names;
    for (const Target &target : Kivaro::Fuzz::targets()) {
        names.insert(QLatin1String(target.name));
        EXPECT_FALSE(QDir(fuzzFolder() + QStringLiteral("/corpus/") + QLatin1String(target.name)).isEmpty(QDir::Files))
            << target.name << " has no seeds";
    }
    for (const char *kind : {"corpus", "regressions"})
        for (const QString &folder : QDir(fuzzFolder() + QLatin1Char('/') + QLatin1String(kind)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            EXPECT_TRUE(names.count(folder)) << kind << "/" << folder.toStdString() << " is no target's folder: its inputs would never run";
}

TEST(FuzzCorpus, InputsAwaitingAFixExist)
{
    for (const QString &path : kAwaitingFix)
        EXPECT_TRUE(QFile::exists(fuzzFolder() + QLatin1Char('/') + path)) << path.toStdString();
}

} // namespace
