// A row deeper than PATH_MAX, found by a real search, acted on through the window like any other.
#include "window_on_folder.h"
#include "tests/support/temporary_tree.h"
#include "actions/form2.h"
#include "actions/form3.h"
#include "mainwindow/result_view.h"
#include "platform/files/open_beneath.h"
#include "search/results/result_list.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using actions::Form2;
using actions::Form3;
using namespace testing_actions;
using namespace testsupport;

// Whether name is an entry of the folder at path, which may lie past PATH_MAX.
bool isIn(const QByteArray& folder, const char* name)
{
    const platform::Fd at(platform::openPath(folder, platform::PathLinks::None, O_PATH));
    struct stat st;
    return at && ::fstatat(at.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The window, not shown, over a tree in memory: thousands of folders are made and deleted there in
// a fraction of the time a disk takes.
class DeepRowTest : public WindowOnFolder {
protected:
    DeepRowTest() : WindowOnFolder(inMemoryTemplate()) {}
    void TearDown() override
    {
        if (exists(path("deep")))
            std::system(("rm -rf '" + path("deep") + "'").constData()); // QTemporaryDir stops at PATH_MAX
    }
    int rowOf(const QByteArray& path) const
    {
        for (int r = 0; r < w->results().rowCount(); ++r)
            if (w->results().row(r).pathBytes() == path)
                return r;
        return -1;
    }
    void copyInto(const QByteArray& target)
    {
        whenShown<Form3>([target](Form3& d) {
            d.Text1->setText(QString::fromUtf8(target));
            d.Command1->click();
        });
        ui(w).mnuCopy->trigger();
    }
};

TEST_F(DeepRowTest, ARowDeeperThanPathMaxIsCopiedRenamedAndDeletedLikeAnyOther)
{
    ASSERT_EQ(::mkdir(path("deep"), 0755), 0);
    ASSERT_EQ(::mkdir(path("to"), 0755), 0);
    makeDeepChain(path("deep"), 2100); // 2 bytes of path a level
    QByteArray folder = path("deep"); // the deepest folder that holds a file
    for (int level = 1; level < 2100; ++level)
        folder += "/d";
    ASSERT_GT(folder.size(), PATH_MAX);
    search();
    const int fileRow = rowOf(folder + "/f"), folderRow = rowOf(folder);
    ASSERT_GE(fileRow, 0);
    ASSERT_GE(folderRow, 0);

    ui(w).List1->selectRow(fileRow);
    copyInto(path("to"));
    ui(w).List1->selectRow(folderRow);
    copyInto(path("to"));
    EXPECT_TRUE(exists(path("to/f")));
    EXPECT_TRUE(exists(path("to/d/f")) && exists(path("to/d/d")));

    ui(w).List1->selectRow(fileRow);
    whenShown<Form2>([](Form2& d) {
        d.Text1->setText("g");
        d.Command1->click();
    });
    ui(w).mnuRename->trigger();
    EXPECT_EQ(w->results().row(fileRow).pathBytes(), folder + "/g");
    EXPECT_TRUE(isIn(folder, "g"));
    EXPECT_FALSE(isIn(folder, "f"));

    const int rows = w->results().rowCount();
    ui(w).mnuDelete->trigger(); // the renamed row is still selected
    EXPECT_FALSE(isIn(folder, "g"));
    EXPECT_TRUE(isIn(folder, "d"));
    EXPECT_EQ(w->results().rowCount(), rows - 1);
    ui(w).List1->selectRow(rowOf(path("deep")));
    ui(w).mnuDelete->trigger();
    EXPECT_FALSE(exists(path("deep")));
    EXPECT_EQ(messages.shown, QStringList(2, "请确认是否删除？|36|提示")) << "no action failed";
}

} // namespace
