// The option store in a temporary folder, and the per-user single-instance lock.
#include "platform/settings_store.h"
#include "platform/single_instance.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

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

} // namespace
