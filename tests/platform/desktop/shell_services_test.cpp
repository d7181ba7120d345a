#include "platform/desktop/desktop_shell.h"
#include "platform/desktop/properties_dialog.h"
#include "tests/support/temporary_tree.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

using platform::DesktopShellServices;
using platform::fileUrl;
using testsupport::writeFile;

TEST(FileUrlTest, TheUrlKeepsTheBytesOfTheName)
{
    for (const char* path : {"/tmp/a b#c?d%e.txt", "/文件/名字", "/"})
        EXPECT_EQ(fileUrl(path), QUrl::fromLocalFile(QString::fromUtf8(path))) << path;
    // GB18030 bytes that are no UTF-8 survive as themselves, where decoding would lose them.
    EXPECT_EQ(fileUrl("/tmp/\xb2\xe2\xca\xd4.txt").toEncoded(), "file:///tmp/%B2%E2%CA%D4.txt");
}

class ShellTest : public ::testing::Test {
protected:
    QByteArray path(const char* name) const { return QFile::encodeName(dir.path()) + '/' + name; }

    QTemporaryDir dir;
    QList<QUrl> opened;
    // A bus that is not connected: no file manager answers.
    DesktopShellServices shell{QDBusConnection(QStringLiteral("no bus")),
                               [this](const QUrl& url) { opened << url; return true; }};
};

TEST_F(ShellTest, WithoutAFileManagerLocateOpensTheContainingFolderOnceForAllItsEntries)
{
    shell.open(path("a.txt"));
    shell.locate(path("a.txt"));
    EXPECT_EQ(opened, (QList<QUrl>{fileUrl(path("a.txt")), fileUrl(QFile::encodeName(dir.path()))}));
    opened.clear();
    shell.locateAll({path("a.txt"), path("sub/b.txt"), path("c.txt")});
    EXPECT_EQ(opened, (QList<QUrl>{fileUrl(QFile::encodeName(dir.path())), fileUrl(path("sub"))}));
}

TEST_F(ShellTest, WithoutAFileManagerPropertiesShowTheProgramsOwnDialogAndNothingForAVanishedEntry)
{
    QWidget owner;
    writeFile(path("a.txt"), "12345");
    ASSERT_EQ(::mkdir(path("k<b>bold<"), 0755), 0); // a name, not markup
    writeFile(path("k<b>bold</one"), "");
    writeFile(path("k<b>bold</two"), "");

    shell.showProperties(path("a.txt"), &owner);
    auto* dialog = owner.findChild<platform::PropertiesDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    const auto field = [](QWidget* d, const char* name) { return d->findChild<QLabel*>(name)->text(); };
    EXPECT_EQ(field(dialog, "name"), "a.txt");
    EXPECT_EQ(field(dialog, "location"), dir.path());
    EXPECT_EQ(field(dialog, "size"), "5 字节");
    EXPECT_TRUE(field(dialog, "permissions").startsWith("rw-r--r--"));
    EXPECT_FALSE(field(dialog, "type").isEmpty());
    delete dialog;

    shell.showProperties(path("k<b>bold<"), &owner);
    dialog = owner.findChild<platform::PropertiesDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(field(dialog, "entries"), "2 项");
    EXPECT_EQ(field(dialog, "name"), "k<b>bold<");
    for (const QLabel* label : dialog->findChildren<QLabel*>()) {
        if (!label->objectName().isEmpty()) { // the fields; the captions are the program's own
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }
    delete dialog;

    shell.showProperties(path("gone"), &owner);
    EXPECT_EQ(owner.findChild<platform::PropertiesDialog*>(), nullptr);
}

// A file manager of the test's own on a private bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public slots:
    void ShowItems(const QStringList& uris, const QString&) { calls << "ShowItems " + uris.join(' '); }
    void ShowItemProperties(const QStringList& uris, const QString&) { calls << "ShowItemProperties " + uris.join(' '); }

public:
    QStringList calls;
};

// A dbus-daemon of the test's own, ended with the test.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        process.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (process.waitForStarted() && process.waitForReadyRead(5000))
            address = QString::fromLatin1(process.readLine().trimmed());
    }
    ~PrivateBus()
    {
        for (const QString& name : connections)
            QDBusConnection::disconnectFromBus(name);
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGCONT);
            process.kill();
            process.waitForFinished();
        }
    }
    QDBusConnection connect(const QString& name)
    {
        connections << name;
        return QDBusConnection::connectToBus(address, name);
    }
    // The daemon stops answering anyone, as a hung session bus does.
    void freeze() { ::kill(pid_t(process.processId()), SIGSTOP); }

    QProcess process;
    QString address;
    QStringList connections;
};

TEST_F(ShellTest, AFileManagerOnTheBusIsAskedWithTheEntrysUri)
{
    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "no dbus-daemon to run a private bus";
    QDBusConnection service = bus.connect(QStringLiteral("file manager"));
    QDBusConnection client = bus.connect(QStringLiteral("client"));
    ASSERT_TRUE(service.isConnected() && client.isConnected());
    FakeFileManager manager;
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    QWidget owner;
    DesktopShellServices desktop(client, [this](const QUrl& url) { opened << url; return true; });
    desktop.locate("/tmp/\xb2\xe2.txt");
    desktop.showProperties("/tmp/x", &owner);
    desktop.locateAll({"/tmp/a", "/tmp/d/b"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager.calls.size() == 3; }, 5000));
    EXPECT_EQ(manager.calls, (QStringList{"ShowItems file:///tmp/%B2%E2.txt", "ShowItemProperties file:///tmp/x",
                                          "ShowItems file:///tmp/a file:///tmp/d/b"}));
    QTest::qWait(50);
    EXPECT_TRUE(opened.isEmpty()) << "the fallback ran although the file manager answered";
    EXPECT_EQ(owner.findChild<QDialog*>(), nullptr);

    // The name is on the bus but the call fails: the fallback runs after all.
    service.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    desktop.locate("/tmp/y/z");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
    EXPECT_EQ(opened, QList<QUrl>{fileUrl("/tmp/y")});
}

// Both requests return at once, before any answer could have come, and the fallback follows the
// deadline: a bus that has stopped answering, and a file manager that owns its name but hangs.
TEST_F(ShellTest, AStuckBusOrFileManagerNeverHoldsUpTheWindowAndTheFallbackFollows)
{
    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "no dbus-daemon to run a private bus";
    QDBusConnection hung = bus.connect(QStringLiteral("hung file manager"));
    QDBusConnection client = bus.connect(QStringLiteral("client"));
    ASSERT_TRUE(hung.isConnected() && client.isConnected());
    // The name's owner takes calls on a thread that never gets to them.
    QThread stuck;
    FakeFileManager manager;
    manager.moveToThread(&stuck);
    ASSERT_TRUE(hung.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                    QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(hung.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    QSemaphore release;
    stuck.start();
    QMetaObject::invokeMethod(&manager, [&release] { release.acquire(); });

    QWidget owner;
    DesktopShellServices desktop(client, [this](const QUrl& url) { opened << url; return true; },
                                 {.query = 300, .call = 300});
    desktop.locate(path("a.txt"));
    EXPECT_TRUE(opened.isEmpty()) << "locate waited for the file manager";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
    EXPECT_EQ(opened, QList<QUrl>{fileUrl(QFile::encodeName(dir.path()))});

    writeFile(path("b.txt"), "");
    bus.freeze();
    desktop.showProperties(path("b.txt"), &owner);
    EXPECT_EQ(owner.findChild<platform::PropertiesDialog*>(), nullptr) << "properties waited for the bus";
    opened.clear();
    desktop.locate(path("b.txt"));
    EXPECT_TRUE(opened.isEmpty()) << "locate waited for the bus";
    EXPECT_TRUE(QTest::qWaitFor([&] { return owner.findChild<platform::PropertiesDialog*>() && !opened.isEmpty(); },
                                5000));
    release.release();
    stuck.quit();
    stuck.wait();
}

} // namespace

#include "shell_services_test.moc"
