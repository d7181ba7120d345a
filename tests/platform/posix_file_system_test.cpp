// The file system queries on real temporary folders: listings, attributes, lengths and the
// existence query.
#include "platform/file_attributes.h"
#include "platform/posix_file_system.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::PosixFileSystem;

class PosixFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = QFile::encodeName(tmp.path());
    }
    QByteArray at(const char* relative) const { return root + "/" + relative; }
    void makeFolder(const char* relative) { ASSERT_EQ(::mkdir(at(relative), 0755), 0) << relative; }
    void makeFile(const char* relative, off_t length = 0)
    {
        const int fd = ::open(at(relative), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << relative;
        ASSERT_EQ(::ftruncate(fd, length), 0);
        ::close(fd);
    }
    void makeLink(const char* target, const char* relative)
    {
        ASSERT_EQ(::symlink(target, at(relative)), 0) << relative;
    }
    // Every name of one listing with what the listing says of it.
    std::map<QByteArray, std::optional<uint32_t>> listAll(const QByteArray& folder)
    {
        std::map<QByteArray, std::optional<uint32_t>> names;
        auto listing = fs.listFolder(folder, {});
        EXPECT_TRUE(listing) << folder.constData();
        while (listing && listing->next())
            names[listing->name().toByteArray()] = listing->attributes();
        return names;
    }

    QTemporaryDir tmp;
    QByteArray root;
    PosixFileSystem fs;
};

TEST_F(PosixFileSystemTest, InterleavedListingsEachKeepTheirOwnPosition)
{
    // Enough long names that a listing needs several reads from the kernel.
    std::set<QByteArray> expected{".", ".."};
    for (int i = 0; i < 1500; ++i) {
        const QByteArray name = "file-with-a-long-name-so-that-buffers-fill-up-" + QByteArray::number(i);
        makeFile(name.constData());
        expected.insert(name);
    }
    auto a = fs.listFolder(root, {});
    ASSERT_TRUE(a);
    std::multiset<QByteArray> seenByA;
    for (int i = 0; i < 700 && a->next(); ++i)
        seenByA.insert(a->name().toByteArray());

    auto b = fs.listFolder(root, {});
    ASSERT_TRUE(b);
    std::multiset<QByteArray> seenByB;
    while (b->next())
        seenByB.insert(b->name().toByteArray());
    b.reset();

    while (a->next())
        seenByA.insert(a->name().toByteArray());
    EXPECT_EQ(seenByA, std::multiset<QByteArray>(expected.begin(), expected.end()));
    EXPECT_EQ(seenByB, seenByA);
}

TEST_F(PosixFileSystemTest, AttributesFromTheListingAndByPathAgree)
{
    makeFolder("dir");
    makeFolder(".hdir");
    makeFile("file", 3);
    makeFile(".hidden");
    makeLink("dir", "link");        // a link to a folder is never a folder
    makeLink(".", "self");          // a link cycle is a plain entry
    makeLink("nowhere", "dangling");
    const std::map<QByteArray, uint32_t> expected{
        {"dir", platform::Directory}, {".hdir", platform::Directory | platform::Hidden}, {"file", 0},
        {".hidden", platform::Hidden}, {"link", 0}, {"self", 0}, {"dangling", 0}};

    const auto listed = listAll(root);
    EXPECT_TRUE(listed.count(".") && listed.count(".."));
    for (const auto& [name, bits] : expected) {
        SCOPED_TRACE(name.constData());
        ASSERT_TRUE(listed.count(name));
        EXPECT_EQ(listed.at(name), bits);
        // A writable entry: the read-only bit stays clear by path as well.
        EXPECT_EQ(fs.attributes(at(name)), bits);
    }
    EXPECT_EQ(fs.attributes(at("dir") + "/"), platform::Directory);
    EXPECT_EQ(fs.attributes(at("missing")), std::nullopt);
    EXPECT_EQ(fs.attributes(""), std::nullopt);
}

TEST_F(PosixFileSystemTest, EntryTheUserCannotWriteIsReadOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write everything";
    makeFile("locked");
    ASSERT_EQ(::chmod(at("locked"), 0444), 0);
    EXPECT_EQ(fs.attributes(at("locked")), platform::ReadOnly);
}

TEST_F(PosixFileSystemTest, LengthIsSixtyFourBit)
{
    const int64_t fiveGiB = int64_t(5) << 30;
    makeFile("sparse", off_t(fiveGiB));
    EXPECT_EQ(fs.fileLength(at("sparse")), fiveGiB);
    EXPECT_EQ(fs.fileLength(at("missing")), std::nullopt);
    auto listing = fs.listFolder(root, {});
    ASSERT_TRUE(listing);
    while (listing->next() && listing->name() != "sparse") {
    }
    EXPECT_EQ(listing->length(), fiveGiB);
}

TEST_F(PosixFileSystemTest, MissingFoldersAndLinksToFoldersAreNotListed)
{
    makeFolder("dir");
    makeFile("dir/inside");
    makeLink("dir", "link");
    makeLink(".", "self");
    EXPECT_FALSE(fs.listFolder(at("missing"), {}));
    EXPECT_FALSE(fs.listFolder(at("link"), {}));
    EXPECT_FALSE(fs.listFolder(at("self"), {}));
    EXPECT_FALSE(fs.listFolder(at("dir/inside"), {}));
    EXPECT_TRUE(listAll(at("dir")).count("inside"));
}

TEST_F(PosixFileSystemTest, BoundsRefuseVirtualFileSystemsAndOtherVolumes)
{
    struct stat st;
    ASSERT_EQ(::stat(root, &st), 0);
    const uint64_t volume = st.st_dev;
    EXPECT_TRUE(fs.listFolder(root, {volume, true}));
    EXPECT_TRUE(fs.listFolder(root, {0, true})); // a volume's own root
    EXPECT_FALSE(fs.listFolder(root, {volume + 1, true}));
    EXPECT_TRUE(fs.listFolder(root, {volume + 1, false}));
    if (::stat("/proc/self", &st) != 0)
        GTEST_SKIP() << "no /proc here";
    EXPECT_FALSE(fs.listFolder("/proc", {}));
}

TEST_F(PosixFileSystemTest, ExistenceQueryFindsPathsPatternsAndFolderContents)
{
    makeFolder("q");
    makeFile("q/alpha.txt");
    makeFolder("q/beta");
    makeFile("q/.secret");
    makeFolder("empty");
    const std::pair<QByteArray, QByteArray> cases[] = {
        {at("q/alpha.txt"), "alpha.txt"},
        {at("q/.secret"), ".secret"},
        {at("q"), "q"},
        {at("missing"), ""},
        {at("q/al*"), "alpha.txt"},
        {at("q/b??a"), "beta"},
        {at("q/alpha.tx?"), "alpha.txt"},
        {at("q/zz*"), ""},
        {at("q/b?"), ""},
        {at("empty/"), "."},
        {at("missing/"), ""},
        {at("q/alpha.txt/"), ""},
        {"", "."},
    };
    for (const auto& [pattern, found] : cases) {
        SCOPED_TRACE(pattern.constData());
        EXPECT_EQ(fs.firstMatch(pattern), found);
    }
}

TEST_F(PosixFileSystemTest, RootAndCurrentFolderAreFound)
{
    EXPECT_EQ(fs.firstMatch("/"), ".");
    EXPECT_EQ(fs.attributes("/").value_or(0) & platform::Directory, platform::Directory);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    makeFile("here");
    EXPECT_EQ(fs.firstMatch("he*"), "here");
    EXPECT_EQ(fs.firstMatch("here"), "here");
    EXPECT_EQ(fs.firstMatch(""), ".");
    QDir::setCurrent(before);
}

} // namespace
