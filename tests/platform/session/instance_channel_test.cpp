// The folder a second start hands to the running instance, and the folder of the command line.
#include "platform/session/instance_channel.h"
#include "platform/session/start_folder.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::FolderListener;

class InstanceChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(listener.listen(socket));
    }
    QByteArray path(const char* name) const { return QFile::encodeName(dir.path()) + '/' + name; }
    // Sends raw bytes as a client of its own would, and closes.
    void sendRaw(const QByteArray& bytes)
    {
        QLocalSocket client;
        client.connectToServer(socket);
        ASSERT_TRUE(client.waitForConnected(2000));
        client.write(bytes);
        client.waitForBytesWritten(2000);
        client.disconnectFromServer();
    }

    QTemporaryDir dir;
    QString socket = dir.path() + "/sorvane.socket";
    FolderListener listener;
    QSignalSpy received{&listener, &FolderListener::folderReceived};
};

TEST_F(InstanceChannelTest, AHandedOverFolderArrivesWithItsOwnBytes)
{
    // GB18030 bytes that are no UTF-8, and a blank at the end: the folder is named by its bytes.
    const QByteArray folder = path("\xb2\xe2\xca\xd4 ");
    ASSERT_EQ(::mkdir(folder, 0755), 0);
    EXPECT_TRUE(platform::handOverFolder(socket, folder));
    ASSERT_TRUE(received.wait(5000));
    EXPECT_EQ(received.takeFirst().at(0).toByteArray(), folder);
}

TEST_F(InstanceChannelTest, AnythingButAWellFormedFolderPathIsIgnored)
{
    ASSERT_EQ(::mkdir(path("d"), 0755), 0);
    QFile file(QFile::decodeName(path("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QByteArray magic = platform::folderMessage({});
    for (const QByteArray& message :
         {path("d"), magic, magic + "relative/d", magic + path("file"), magic + path("missing"),
          magic + path("d") + QByteArray(1, '\0') + "tail", magic + path("d") + '/' + QByteArray(9000, 'x'),
          QByteArray("SORVANE-FOLDER\n") + path("d")})
        sendRaw(message);
    // A client that sends a message but never hangs up is dropped with it.
    QLocalSocket silent;
    silent.connectToServer(socket);
    ASSERT_TRUE(silent.waitForConnected(2000));
    silent.write(platform::folderMessage(path("d")));
    silent.waitForBytesWritten(2000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.state() == QLocalSocket::UnconnectedState; }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(received.size(), 0);

    // The listener still serves the next second start.
    EXPECT_TRUE(platform::handOverFolder(socket, path("d")));
    ASSERT_TRUE(received.wait(5000));
    EXPECT_EQ(received.takeFirst().at(0).toByteArray(), path("d"));
}

TEST_F(InstanceChannelTest, ASocketLeftByAnEndedInstanceIsReplacedAndNoListenerMeansNoHandOver)
{
    ASSERT_EQ(::mkdir(path("d"), 0755), 0);
    FolderListener next;
    ASSERT_TRUE(next.listen(socket)) << "the lock's holder listens where the last one did";
    QSignalSpy nextReceived(&next, &FolderListener::folderReceived);
    EXPECT_TRUE(platform::handOverFolder(socket, path("d")));
    EXPECT_TRUE(nextReceived.wait(5000));

    EXPECT_FALSE(platform::handOverFolder(dir.path() + "/nobody.socket", path("d"), 200));
}

TEST(StartFolder, TheFolderArgumentIsAbsoluteCleanAndMustBeAFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray root = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(root + "/-dash", 0755), 0);
    ASSERT_EQ(::mkdir(root + "/sub", 0755), 0);
    QFile file(dir.path() + "/file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    using Args = std::vector<const char*>;
    const auto folderOf = [](Args args) {
        args.insert(args.begin(), "sorvane");
        return platform::startFolder(int(args.size()), args.data());
    };
    const std::pair<Args, std::optional<QByteArray>> cases[] = {
        {{}, std::nullopt},
        {{root.constData()}, root},
        {{"sub/"}, root + "/sub"},
        {{"./sub//."}, root + "/sub"},
        {{"."}, root},
        {{"-platform", "offscreen", "sub"}, root + "/sub"},
        {{"--style=fusion", "-reverse", "sub"}, root + "/sub"},
        {{"--", "-dash"}, root + "/-dash"},
        {{"-dash"}, std::nullopt},  // an option of Qt's, as far as the command line can tell
        {{"file"}, std::nullopt},
        {{"missing"}, std::nullopt},
        {{"sub/.."}, root + "/sub/.."},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(folderOf(args), expected) << (args.empty() ? "" : args.back());
    QDir::setCurrent(before);

    EXPECT_EQ(platform::absoluteCleanPath("//", "/x"), "/");
    EXPECT_EQ(platform::absoluteCleanPath("a/./b/", "/x/"), "/x/a/b");
}

} // namespace
