// The private cache file: what stands in its place is read only when it is a regular file of
// this user's that no one else may read, in the frame's format; writing replaces whatever it was
// without following it, or leaves the old file as it was.
#include "platform/session/cache_file.h"
#include "tests/support/qt_printers.h"
#include "tests/support/temporary_tree.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <variant>

namespace {

using platform::CacheFile;
using platform::CacheRefusal;
using testsupport::modeOf;
using testsupport::readFile;

const platform::CacheFormat kFormat{"TESTFMT", 3, 1 << 20};

class CacheFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QByteArray folder() const { return QFile::encodeName(dir_.path()) + "/cache/sorvane"; }
    QByteArray path() const { return folder() + "/file"; }
    CacheFile file(platform::CacheFormat format = kFormat) const
    {
        return {QFile::decodeName(folder()), "file", format};
    }
    bool write(const QByteArray& payload) const
    {
        return file().write([&](QIODevice& out) { return out.write(payload) == payload.size(); });
    }
    // The payload read back, or why not.
    std::variant<QByteArray, CacheRefusal> read(platform::CacheFormat format = kFormat) const
    {
        CacheFile::Opened opened = file(format).open();
        if (!opened.reading)
            return opened.refusal;
        const QByteArray payload = opened.reading->readAll();
        if (!opened.reading->intact())
            return CacheRefusal::Unreadable;
        return payload;
    }

    QTemporaryDir dir_;
};

TEST_F(CacheFileTest, APayloadWrittenIsReadBackWholeFromAPrivateFileInAPrivateFolder)
{
    EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(CacheRefusal::Absent)));
    ASSERT_TRUE(write("first"));
    ASSERT_TRUE(write("second, longer"));
    EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(QByteArray("second, longer"))));
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(modeOf(path()), 0600u);
    EXPECT_FALSE(testsupport::exists(path() + ".new"));

    // A payload that could not be written whole leaves the old file, and no part of the new one.
    EXPECT_FALSE(file().write([](QIODevice& out) { return out.write("partial") > 0 && false; }));
    EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(QByteArray("second, longer"))));
    EXPECT_FALSE(testsupport::exists(path() + ".new"));

    EXPECT_TRUE(file().remove());
    EXPECT_FALSE(testsupport::exists(path()));
    EXPECT_TRUE(file().remove());
}

TEST_F(CacheFileTest, AFileOfAnotherFormatVersionOrSizeIsRefused)
{
    ASSERT_TRUE(write(QByteArray(1000, 'x')));
    EXPECT_EQ(read({"TESTFMT", 4, 1 << 20}), (std::variant<QByteArray, CacheRefusal>(CacheRefusal::OtherFormat)));
    EXPECT_EQ(read({"OTHERFM", 3, 1 << 20}), (std::variant<QByteArray, CacheRefusal>(CacheRefusal::OtherFormat)));
    EXPECT_EQ(read({"TESTFMT", 3, 999}), (std::variant<QByteArray, CacheRefusal>(CacheRefusal::TooLarge)));
    ASSERT_EQ(::truncate(path().constData(), 20), 0);
    EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(CacheRefusal::OtherFormat)));
}

TEST_F(CacheFileTest, WhatStandsInItsPlaceIsNeitherFollowedNorReadUnlessPrivateAndOwnAndWritingReplacesIt)
{
    ASSERT_TRUE(write("mine"));
    const QByteArray elsewhere = QFile::encodeName(dir_.path()) + "/elsewhere";
    ASSERT_EQ(::rename(path().constData(), elsewhere.constData()), 0);
    const QByteArray original = readFile(elsewhere);

    struct Case {
        const char* what;
        std::function<int()> make;
        CacheRefusal refusal;
    };
    const std::vector<Case> cases = {
        {"a link to a sound file", [&] { return ::symlink(elsewhere.constData(), path().constData()); },
         CacheRefusal::NotARegularFile},
        {"a pipe", [&] { return ::mkfifo(path().constData(), 0600); }, CacheRefusal::NotARegularFile},
        {"a file left readable by all",
         [&] { return ::link(elsewhere.constData(), path().constData()) || ::chmod(path().constData(), 0644); },
         CacheRefusal::Exposed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.make(), 0);
        EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(c.refusal)));
        ASSERT_TRUE(write("replaced"));
        EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(QByteArray("replaced"))));
        ASSERT_EQ(::unlink(path().constData()), 0);
        ASSERT_EQ(::chmod(elsewhere.constData(), 0600), 0);
        EXPECT_EQ(readFile(elsewhere), original); // never written through
    }

    // The folder itself as a link: nothing is read or written through it.
    ASSERT_TRUE(file().remove());
    ASSERT_EQ(::rmdir(folder().constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(dir_.path()).constData(), folder().constData()), 0);
    EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(CacheRefusal::NotARegularFile)));
    EXPECT_FALSE(write("through the link"));
}

TEST_F(CacheFileTest, AnotherUsersFileIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the file to another user";
    ASSERT_TRUE(write("theirs"));
    ASSERT_EQ(::chown(path().constData(), 65534, 65534), 0);
    EXPECT_EQ(read(), (std::variant<QByteArray, CacheRefusal>(CacheRefusal::OtherOwner)));
}

TEST(CacheFolder, IsTheXdgCacheFolderWhenAbsoluteElseTheOneInHome)
{
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/somewhere/cache");
    EXPECT_EQ(platform::cacheFolder(), "/somewhere/cache/sorvane");
    qputenv("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(platform::cacheFolder(), QDir::homePath() + "/.cache/sorvane");
    if (saved.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", saved);
}

} // namespace
