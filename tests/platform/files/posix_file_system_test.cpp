// The file system queries on real temporary folders: listings, attributes, lengths and the
// existence query.
#include "platform/files/file_attributes.h"
#include "platform/files/posix_file_system.h"
#include "tests/support/qt_printers.h"
#include "tests/support/scoped_mount.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <map>
#include <random>
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
        const platform::OpenedFolder opened = fs.openFolder(folder, false);
        EXPECT_TRUE(opened.folder) << folder.constData();
        auto listing = opened.folder ? opened.folder->list() : nullptr;
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
    auto a = fs.openFolder(root, false).folder->list();
    std::multiset<QByteArray> seenByA;
    for (int i = 0; i < 700 && a->next(); ++i)
        seenByA.insert(a->name().toByteArray());

    auto b = fs.openFolder(root, false).folder->list();
    std::multiset<QByteArray> seenByB;
    while (b->next())
        seenByB.insert(b->name().toByteArray());
    b.reset();

    while (a->next())
        seenByA.insert(a->name().toByteArray());
    EXPECT_EQ(seenByA, std::multiset<QByteArray>(expected.begin(), expected.end()));
    EXPECT_EQ(seenByB, seenByA);
}

// Where the file system fills a listing's buffer as far as the folder goes, a part that left room
// ends the listing without another call: no folder may lose entries to that, whatever the lengths
// of its names, on the temporary folder's file system and on a tmpfs.
TEST_F(PosixFileSystemTest, ListingsEndingShortOfAFullBufferHoldEveryEntry)
{
    QByteArray tmpfsRoot = at("tmpfs");
    makeFolder("tmpfs");
    const testsupport::ScopedMount tmpfs = testsupport::ScopedMount::tmpfs(tmpfsRoot, "size=64m");
    std::vector<QByteArray> roots{at("disk")};
    makeFolder("disk");
    if (tmpfs.mounted())
        roots.push_back(tmpfsRoot);
    std::mt19937 random(20261210);
    for (const QByteArray& base : roots) {
        for (int folder = 0; folder < 12; ++folder) {
            const QByteArray path = base + "/f" + QByteArray::number(folder);
            ASSERT_EQ(::mkdir(path.constData(), 0755), 0);
            // From a few entries to several buffers' worth, of one name length or of all.
            const int count = std::uniform_int_distribution<int>(1, 1200)(random);
            const bool oneLength = folder % 3 == 0;
            const int length = std::uniform_int_distribution<int>(1, 255)(random);
            std::set<QByteArray> expected{".", ".."};
            for (int i = 0; i < count; ++i) {
                const QByteArray number = QByteArray::number(i) + '-';
                const int wanted = oneLength ? length : std::uniform_int_distribution<int>(1, 255)(random);
                QByteArray name = (number + QByteArray(255, 'n')).left(std::max<int>(wanted, int(number.size())));
                const int fd = ::open((path + '/' + name).constData(), O_CREAT | O_WRONLY, 0644);
                ASSERT_GE(fd, 0) << name.constData();
                ::close(fd);
                expected.insert(name);
            }
            // Holes where entries were, as a folder that has lived has them.
            for (auto it = expected.begin(); it != expected.end();) {
                if (*it != "." && *it != ".." && random() % 3 == 0) {
                    ASSERT_EQ(::unlink((path + '/' + *it).constData()), 0);
                    it = expected.erase(it);
                } else {
                    ++it;
                }
            }
            // Opened as the walk opens a folder below another: knowing its volume's kind.
            const platform::OpenedFolder parent = fs.openFolder(base, false);
            ASSERT_TRUE(parent.folder && parent.folder->status());
            const platform::OpenedFolder opened = fs.openBelow(*parent.folder, path.mid(base.size() + 1));
            ASSERT_TRUE(opened.folder);
            std::set<QByteArray> listed;
            for (auto listing = opened.folder->list(); listing->next();)
                listed.insert(listing->name().toByteArray());
            EXPECT_EQ(listed, expected) << path.constData() << ": " << count << " entries made";
        }
    }
    if (!tmpfs.mounted())
        GTEST_SKIP() << "listed on the temporary folder's file system only: " << tmpfs.why().toStdString();
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

TEST_F(PosixFileSystemTest, LengthAndTimeAreSixtyFourBitWithOrWithoutTheLength)
{
    const int64_t fiveGiB = int64_t(5) << 30;
    makeFile("sparse", off_t(fiveGiB));
    makeFolder("old");
    // Before 1970, and past 2038 and the range of 32 bits (ext4 keeps times up to 2446).
    const struct timespec before1970[2] = {{0, UTIME_OMIT}, {-86400 * 400, 0}};
    const struct timespec farFuture[2] = {{0, UTIME_OMIT}, {int64_t(13000000000), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, at("old").constData(), before1970, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, at("sparse").constData(), farFuture, 0), 0);
    auto listing = fs.openFolder(root, false).folder->list();
    while (listing->next()) {
        if (listing->name() == "sparse") {
            EXPECT_EQ(listing->length(), fiveGiB);
            EXPECT_EQ(listing->modified(), farFuture[1].tv_sec);
        } else if (listing->name() == "old") {
            EXPECT_EQ(listing->modified(), before1970[1].tv_sec); // no length read for a folder
        }
    }
}

TEST_F(PosixFileSystemTest, FoldersOpenOnlyWhereNoLinkLeadsAndSayWhyNot)
{
    makeFolder("dir");
    makeFolder("dir/sub");
    makeFile("dir/inside");
    makeLink("dir", "link");
    makeLink(".", "self");
    const auto error = [](const platform::OpenedFolder& opened) { return opened.folder ? 0 : opened.error; };
    // The kernel answers ENOTDIR or ELOOP for a link where a folder is asked for.
    const auto isLink = [&](const platform::OpenedFolder& opened) {
        return error(opened) == ENOTDIR || error(opened) == ELOOP;
    };
    EXPECT_EQ(error(fs.openFolder(at("missing"), false)), ENOENT);
    EXPECT_TRUE(isLink(fs.openFolder(at("link"), false)));
    EXPECT_TRUE(isLink(fs.openFolder(at("self"), false)));
    EXPECT_EQ(error(fs.openFolder(at("dir/inside"), false)), ENOTDIR);
    EXPECT_EQ(error(fs.openFolder(at("link"), true)), 0) << "a typed location may be a link";
    EXPECT_TRUE(listAll(at("dir")).count("inside"));

    // Below an open folder no link is followed, at the end or on the way.
    const std::shared_ptr<platform::OpenFolder> top = fs.openFolder(root, false).folder;
    ASSERT_TRUE(top->status()); // which tells the folders opened below it their volume
    EXPECT_TRUE(isLink(fs.openBelow(*top, "link")));
    EXPECT_TRUE(isLink(fs.openBelow(*top, "link/sub")));
    EXPECT_EQ(error(fs.openBelow(*top, "dir/inside")), ENOTDIR);
    const platform::OpenedFolder sub = fs.openBelow(*top, "dir/sub");
    ASSERT_TRUE(sub.folder);
    struct stat st;
    ASSERT_EQ(::stat(at("dir/sub"), &st), 0);
    const platform::EntryIdentity subIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    EXPECT_EQ(sub.folder->status().value().identity, subIdentity);
    EXPECT_FALSE(sub.folder->status()->mountRoot);
    // What the parent's listing shows of a folder is what opening it shows, and what its own
    // listing's "." shows.
    auto listing = fs.openBelow(*top, "dir").folder->list();
    while (listing->next() && listing->name() != "sub") {
    }
    EXPECT_EQ(listing->folderIdentity(), subIdentity);
    EXPECT_EQ(fs.openBelow(*top, "dir/sub").folder->list()->ownInode().value_or(0), subIdentity.inode);
}

TEST_F(PosixFileSystemTest, FoldersFarBelowAnOpenOneOpenPastThePathLimit)
{
    QByteArray names;
    int dir = ::open(root, O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < 300 && dir >= 0; ++depth) { // about 9,000 bytes of names
        const QByteArray name = "level-" + QByteArray::number(depth) + "-of-a-long-chain";
        ASSERT_EQ(::mkdirat(dir, name, 0755), 0);
        const int below = ::openat(dir, name, O_RDONLY | O_DIRECTORY);
        ::close(dir);
        dir = below;
        names += (names.isEmpty() ? "" : "/") + name;
    }
    ::close(dir);
    ASSERT_GT(names.size(), PATH_MAX);
    const platform::OpenedFolder deep = fs.openBelow(*fs.openFolder(root, false).folder, names);
    EXPECT_TRUE(deep.folder) << deep.error;
    std::system(("rm -rf -- '" + at("level-0-of-a-long-chain") + "'").constData()); // past PATH_MAX
}

TEST_F(PosixFileSystemTest, VirtualFileSystemsAreTold)
{
    struct stat st;
    ASSERT_EQ(::stat(root, &st), 0);
    EXPECT_FALSE(fs.isVirtualVolume(st.st_dev));
    if (::stat("/proc/self", &st) != 0)
        GTEST_SKIP() << "no /proc here";
    EXPECT_TRUE(fs.isVirtualVolume(st.st_dev));
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
