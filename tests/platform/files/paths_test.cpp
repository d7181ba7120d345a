// The byte rules of paths: separators, the root, trailing slashes, splitting an entry off.
#include "platform/files/paths.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

TEST(Paths, SplitAndTrailingSlashRulesFromOneTable)
{
    const struct {
        QByteArray path;
        QByteArray trimmed, folder, name;
        bool namesAnEntry;
    } cases[] = {
        {"/a/b", "/a/b", "/a", "b", true},
        {"/a/b//", "/a/b", "/a", "b", true},
        {"/a", "/a", "/", "a", true},
        {"/", "/", "/", "", false},
        {"///", "/", "/", "", false},
        {"name", "name", ".", "name", true},
        {"dir/name/", "dir/name", "dir", "name", true},
        {"/a/.", "/a/.", "/a", ".", false},
        {"/a/..", "/a/..", "/a", "..", false},
        {"", "", ".", "", false},
        {"/a/\xb2\xe2", "/a/\xb2\xe2", "/a", "\xb2\xe2", true}, // bytes, not text
        {QByteArray("/a/b\0c", 6), QByteArray("/a/b\0c", 6), "/a", QByteArray("b\0c", 3), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toHex().constData());
        EXPECT_EQ(platform::withoutTrailingSlashes(c.path), c.trimmed);
        const platform::SplitPath split = platform::splitPath(c.path);
        EXPECT_EQ(split.folder, c.folder);
        EXPECT_EQ(split.name, c.name);
        EXPECT_EQ(platform::containingFolder(c.path), c.folder);
        EXPECT_EQ(platform::splitEntryPath(c.path).has_value(), c.namesAnEntry);
    }
}

TEST(Paths, JoinPutsExactlyOneSeparator)
{
    EXPECT_EQ(platform::joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(platform::joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(platform::joinPath("/", "b"), "/b");
    EXPECT_EQ(platform::joinPath("", "b"), "/b"); // the empty root of a search of "/"
    EXPECT_EQ(platform::lastComponent("/a/b"), "b");
    EXPECT_EQ(platform::lastComponent("b"), "b");
    EXPECT_EQ(platform::lastComponent("/a/"), "");
}

TEST(Paths, SameOrBelowComparesWholeComponents)
{
    EXPECT_TRUE(platform::isSameOrBelow("/a/b", "/a/b"));
    EXPECT_TRUE(platform::isSameOrBelow("/a/b/c", "/a/b"));
    EXPECT_TRUE(platform::isSameOrBelow("/a/b/c", "/a/b/"));
    EXPECT_FALSE(platform::isSameOrBelow("/a/bc", "/a/b"));
    EXPECT_FALSE(platform::isSameOrBelow("/a", "/a/b"));
    EXPECT_TRUE(platform::isSameOrBelow("/anything", "/"));
}

} // namespace
