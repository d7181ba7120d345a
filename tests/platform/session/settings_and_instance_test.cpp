// The option store in a temporary folder, and the per-user single-instance lock.
#include "platform/session/settings_store.h"
#include "platform/session/single_instance.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(IniSettingsStore, WrittenValuesReadBackAndAbsentKeysGiveTheDefault)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        platform::IniSettingsStore store(dir.path());
        store.write("Form1", "check2", "1");
        EXPECT_EQ(store.read("Form1", "check2", "0"), "1");
        EXPECT_EQ(store.read("Form1", "check1", "0"), "0");
    }
    platform::IniSettingsStore reopened(dir.path());
    EXPECT_EQ(reopened.read("Form1", "check2", "0"), "1");
    QFile ini(dir.path() + "/Sorvane/Sorvane.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("[Form1]") && text.contains("check2=1")) << text.constData();
}

TEST(SingleInstance, SecondInstanceFailsWhileTheFirstHoldsTheLock)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto first = std::make_unique<platform::SingleInstance>(dir.path());
    ASSERT_TRUE(first->acquire());
    EXPECT_FALSE(platform::SingleInstance(dir.path()).acquire());
    first.reset();
    EXPECT_TRUE(platform::SingleInstance(dir.path()).acquire());
}

TEST(SingleInstance, LockLeftByADeadProcessIsTakenOver)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + "/sorvane.lock";
    // Let QLockFile write its own format, then put in the number of a process that has ended.
    QByteArray content;
    {
        QLockFile lock(path);
        ASSERT_TRUE(lock.tryLock(0));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        content = file.readAll();
    }
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const qsizetype endOfPid = content.indexOf('\n');
    ASSERT_GT(endOfPid, 0);
    content = QByteArray::number(dead) + content.mid(endOfPid);
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(content);
    stale.close();

    EXPECT_TRUE(platform::SingleInstance(dir.path()).acquire());
}

// Whatever a crash, a full disk or a careless hand left under the lock's name: the next start
// takes the lock over, and holds it for real.
TEST(SingleInstance, AnUnreadableLockIsTakenOverAndThenHeld)
{
    const auto plantFile = [](const QString& path, const QByteArray& content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    const std::vector<std::pair<const char*, std::function<bool(const QString&)>>> planted = {
        {"an empty file", [&](const QString& path) { return plantFile(path, ""); }},
        {"garbage", [&](const QString& path) { return plantFile(path, "\xff\x01not a lock\n\n\n"); }},
        {"a file no one may read", [&](const QString& path) {
             return plantFile(path, "1\n") && ::chmod(QFile::encodeName(path), 0) == 0; }},
        {"an empty folder", [](const QString& path) { return ::mkdir(QFile::encodeName(path), 0700) == 0; }},
        {"a folder with a file in it", [&](const QString& path) {
             return ::mkdir(QFile::encodeName(path), 0700) == 0 && plantFile(path + "/keep", "kept"); }},
        {"a dangling link", [](const QString& path) {
             return ::symlink("/nonexistent/lock", QFile::encodeName(path)) == 0; }},
    };
    for (const auto& [what, plant] : planted) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(plant(dir.path() + "/sorvane.lock")) << what;
        platform::SingleInstance first(dir.path());
        EXPECT_TRUE(first.acquire()) << what;
        EXPECT_FALSE(platform::SingleInstance(dir.path()).acquire()) << what << ": the lock is held";
    }
    // The folder's content was moved aside, not deleted.
    QTemporaryDir dir;
    ASSERT_TRUE(::mkdir(QFile::encodeName(dir.path() + "/sorvane.lock"), 0700) == 0);
    ASSERT_TRUE(plantFile(dir.path() + "/sorvane.lock/keep", "kept"));
    ASSERT_TRUE(platform::SingleInstance(dir.path()).acquire());
    const QStringList aside = QDir(dir.path()).entryList({"sorvane.lock.*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(QFile::exists(dir.path() + "/" + aside[0] + "/keep"));
}

TEST(SingleInstance, TheLockOfAnotherProcessHoldsUntilThatProcessEnds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        platform::SingleInstance instance(dir.path());
        const char answer = instance.acquire() ? 'y' : 'n';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(holder, 0);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    EXPECT_FALSE(platform::SingleInstance(dir.path()).acquire());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(platform::SingleInstance(dir.path()).acquire()) << "the lock went with its process";
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path), &st) == 0 ? st.st_mode : 0;
}

TEST(InstanceFolder, TheRuntimeFolderOnlyWhenItIsTheUsersOwnElseAFolderOfTheUsersOwn)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QByteArray tempBytes = QFile::encodeName(temp.path());
    const QString perUser = temp.path() + "/sorvane-" + QString::number(::geteuid());
    QTemporaryDir runtime;
    ASSERT_TRUE(::chmod(QFile::encodeName(runtime.path()), 0700) == 0);
    EXPECT_EQ(platform::instanceFolder(QFile::encodeName(runtime.path()), tempBytes), runtime.path());
    EXPECT_FALSE(QFile::exists(perUser)) << "nothing is made while the runtime folder serves";

    // No runtime folder, or one that others may enter: the per-user folder, made private.
    for (const QByteArray& unusable : {QByteArray(), QFile::encodeName(runtime.path())}) {
        if (!unusable.isEmpty()) {
            ASSERT_TRUE(::chmod(unusable, 0755) == 0);
        }
        EXPECT_EQ(platform::instanceFolder(unusable, tempBytes), perUser);
        EXPECT_EQ(modeOf(perUser), S_IFDIR | 0700);
    }
    // A per-user folder of one's own that lost its mode gets it back.
    ASSERT_TRUE(::chmod(QFile::encodeName(perUser), 0777) == 0);
    EXPECT_EQ(platform::instanceFolder({}, tempBytes), perUser);
    EXPECT_EQ(modeOf(perUser), S_IFDIR | 0700);
}

TEST(InstanceFolder, APlantedPerUserNameIsNeverUsedAndTheStartGoesOn)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QByteArray tempBytes = QFile::encodeName(temp.path());
    const QByteArray perUser = tempBytes + "/sorvane-" + QByteArray::number(::geteuid());
    QTemporaryDir elsewhere;

    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere.path()), perUser), 0);
    EXPECT_EQ(platform::instanceFolder({}, tempBytes), QString()) << "a link, even to a folder of one's own";
    ASSERT_EQ(::unlink(perUser), 0);

    ASSERT_EQ(::mkdir(perUser, 0777), 0);
    ASSERT_EQ(::chmod(perUser, 0777), 0);
    if (::geteuid() != 0 || ::chown(perUser, 65534, 65534) != 0)
        GTEST_SKIP() << "a folder of another user needs root to make";
    EXPECT_EQ(platform::instanceFolder({}, tempBytes), QString());
    EXPECT_EQ(modeOf(QFile::decodeName(perUser)), S_IFDIR | 0777) << "another's folder is left as it is";
    // Without a folder the program starts unguarded rather than not at all.
    platform::SingleInstance unguarded(platform::instanceFolder({}, tempBytes));
    EXPECT_TRUE(unguarded.acquire());
    EXPECT_TRUE(QDir(QFile::decodeName(perUser)).isEmpty());
}

} // namespace
