// The "修改日期" column and "导出结果…" on a real folder: the times the walk reads, as the list shows
// them and sorts by them, and the list written out as a CSV file that another parser (Python's
// csv module) reads back as the list shows it; a failed export leaves nothing behind.
#include "window_on_folder.h"
#include "actions/result_export.h"
#include "mainwindow/result_view.h"
#include "platform/fileops/operation_progress.h"
#include "search/results/result_list.h"
#include "tests/support/scoped_mount.h"
#include "tests/support/temporary_tree.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <QJsonDocument>
#include <QMenu>
#include <QProcess>

#include <cerrno>
#include <ctime>
#include <vector>

namespace {

using search::ResultList;
using namespace testing_actions;
using namespace testsupport;

// One zone for the expected texts: Shanghai has no summer time in these years.
class InShanghai {
public:
    InShanghai() : previous_(qgetenv("TZ")) { setZone("Asia/Shanghai"); }
    ~InShanghai() { setZone(previous_); }

private:
    static void setZone(const QByteArray& zone)
    {
        zone.isEmpty() ? qunsetenv("TZ") : qputenv("TZ", zone);
        ::tzset();
    }
    QByteArray previous_;
};

constexpr int64_t k1960 = -315619200;    // 1960-01-01T00:00:00Z
constexpr int64_t k2026 = 1772690580;    // 2026-03-05T06:03:00Z
constexpr int64_t k2001 = 1000000000;    // 2001-09-09T01:46:40Z
constexpr int64_t k2200 = 7258118400;    // 2200-01-01T00:00:00Z

class ResultExportTest : public WindowOnFolder {
protected:
    void SetUp() override
    {
        WindowOnFolder::SetUp();
        ASSERT_NO_FATAL_FAILURE(showWindow());
        ui = mainwindow::Form1Controls::of(*w);
    }
    void setTime(const QByteArray& entry, int64_t seconds)
    {
        const struct timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, entry.constData(), times, AT_SYMLINK_NOFOLLOW), 0) << entry.constData();
        ASSERT_EQ(statusOf(entry).stx_mtime.tv_sec, seconds) << "the file system keeps no such time";
    }
    QStringList shownColumn(int column) const
    {
        QStringList texts;
        const QAbstractItemModel* shown = ui.List1->model();
        for (int r = 0; r < shown->rowCount(); ++r)
            texts << shown->index(r, column).data().toString();
        return texts;
    }
    // As the header's clicks do; -1 for the order found.
    void sortBy(int section, Qt::SortOrder order = Qt::AscendingOrder)
    {
        ui.List1->horizontalHeader()->setSortIndicator(section, order);
    }
    // The rows of a CSV file as Python's csv module reads them (the byte-order mark dropped).
    QList<QStringList> parsedCsv(const QByteArray& file)
    {
        QProcess python;
        python.start("python3", {"-c",
                                 "import csv, json, sys\n"
                                 "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                 "    json.dump(list(csv.reader(f, strict=True)), sys.stdout)\n",
                                 QFile::decodeName(file)});
        if (!python.waitForFinished(30000) || python.exitCode() != 0)
            return {{"python3 failed: " + QString::fromUtf8(python.readAllStandardError())}};
        QList<QStringList> rows;
        for (const QVariant& row : QJsonDocument::fromJson(python.readAllStandardOutput()).toVariant().toList())
            rows << row.toStringList();
        return rows;
    }

    InShanghai zone;
    mainwindow::Form1Controls ui;
};

TEST_F(ResultExportTest, TheDateColumnShowsEachEntrysLocalTimeAndSortsNewestLastTiesInTheOrderFound)
{
    const struct {
        const char* name;
        int64_t seconds;
        const char* shown;
    } entries[] = {
        {"before1970.txt", k1960, "1960/1/1 08:00"},
        {"future.txt", k2200, "2200/1/1 08:00"},
        {"today.txt", k2026, "2026/3/5 14:03"},
        {"sametime.txt", k2026, "2026/3/5 14:03"},
        {"folder", k2001, "2001/9/9 09:46"},
    };
    ASSERT_EQ(::mkdir(path("folder").constData(), 0755), 0);
    for (const auto& e : entries) {
        if (QByteArray(e.name) != "folder")
            writeFile(path(e.name), "x");
        ASSERT_NO_FATAL_FAILURE(setTime(path(e.name), e.seconds));
    }
    search();
    EXPECT_EQ(w->results().headerData(ResultList::ModifiedColumn, Qt::Horizontal, Qt::DisplayRole), "修改日期");
    const QStringList found = shownColumn(ResultList::NameColumn);
    ASSERT_EQ(found.size(), 5);
    const QStringList dates = shownColumn(ResultList::ModifiedColumn);
    for (const auto& e : entries)
        EXPECT_EQ(dates[found.indexOf(e.name)], e.shown) << e.name;

    // The two of one time keep the order found, whichever way the list is sorted.
    QStringList alike{"today.txt", "sametime.txt"};
    if (found.indexOf("sametime.txt") < found.indexOf("today.txt"))
        alike = QStringList{"sametime.txt", "today.txt"};
    sortBy(ResultList::ModifiedColumn);
    EXPECT_EQ(shownColumn(ResultList::NameColumn), QStringList({"before1970.txt", "folder"}) + alike + QStringList{"future.txt"});
    sortBy(ResultList::ModifiedColumn, Qt::DescendingOrder);
    EXPECT_EQ(shownColumn(ResultList::NameColumn), QStringList{"future.txt"} + alike + QStringList({"folder", "before1970.txt"}));
    sortBy(-1);
    EXPECT_EQ(shownColumn(ResultList::NameColumn), found);
}

TEST_F(ResultExportTest, TheExportHoldsEveryRowInTheOrderShownAsAParserReadsItBack)
{
    const struct {
        QByteArray name;
        int size;
    } files[] = {
        {"a,b.txt", 50},     {"say \"hi\".txt", 40}, {"two\nlines.txt", 30},
        {"报告.txt", 20},    {"\xb1\xa8\xb8\xe6.doc", 10}, // 报告 in GB18030
        {"bad\xff.bin", 5},
    };
    for (const auto& f : files) {
        writeFile(path(f.name), QByteArray(f.size, 'x'));
        ASSERT_NO_FATAL_FAILURE(setTime(path(f.name), k2026));
    }
    ASSERT_EQ(::mkdir(path("文件夹").constData(), 0755), 0);
    writeFile(path("文件夹/x.txt"), "x");
    ASSERT_NO_FATAL_FAILURE(setTime(path("文件夹/x.txt"), k2200));
    ASSERT_NO_FATAL_FAILURE(setTime(path("文件夹"), k1960));
    search();
    sortBy(ResultList::SizeColumn, Qt::DescendingOrder); // the folder, without a size, last

    QTemporaryDir out;
    saveDialog.answer = out.filePath("结果.csv");
    ui.mnuMain->popup(QPoint(0, 0));
    QTRY_VERIFY(ui.mnuMain->isVisible());
    EXPECT_TRUE(ui.mnuExport->isEnabled());
    ui.mnuMain->hide();
    ui.mnuExport->trigger();

    EXPECT_EQ(saveDialog.asked, QStringList{"导出结果|" + QDir(platform::documentsFolder()).filePath("搜索结果.csv")});
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('\n').toStdString();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"结果.csv"})
        << "the temporary file took the name";
    const QByteArray bytes = readFile(QFile::encodeName(saveDialog.answer));
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" + QStringLiteral("文件名称,").toUtf8())) << "a byte-order mark first";
    EXPECT_TRUE(bytes.endsWith("\r\n"));

    const QString folder = QFile::decodeName(root);
    const QString today = "2026-03-05T14:03:00+08:00";
    const QList<QStringList> expected{
        {"文件名称", "文件位置", "文件大小", "修改日期"},
        {"a,b.txt", folder + "/a,b.txt", "50", today},
        {"say \"hi\".txt", folder + "/say \"hi\".txt", "40", today},
        {"two\nlines.txt", folder + "/two\nlines.txt", "30", today},
        {"报告.txt", folder + "/报告.txt", "20", today},
        {"报告.doc", folder + "/报告.doc", "10", today},
        {"bad\uFFFD.bin", folder + "/bad\uFFFD.bin", "5", today},
        {"x.txt", folder + "/文件夹/x.txt", "1", "2200-01-01T08:00:00+08:00"},
        {"文件夹", folder + "/文件夹", "", "1960-01-01T08:00:00+08:00"},
    };
    EXPECT_EQ(parsedCsv(QFile::encodeName(saveDialog.answer)), expected);

    saveDialog.answer.clear(); // cancelled: nothing written, nothing said
    ui.mnuExport->trigger();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"结果.csv"});
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(ResultExportTest, AFullDiskSaysExportFailedAndLeavesNoPartOfTheFile)
{
    for (int i = 0; i < 200; ++i)
        writeFile(path("a-long-name-for-a-longer-line-" + QByteArray::number(i)), "x");
    search();
    QTemporaryDir out;
    const QByteArray target = QFile::encodeName(out.path());
    const ScopedMount small = ScopedMount::tmpfs(target, "size=16k");
    if (!small.mounted())
        GTEST_SKIP() << "skipped: " << small.why().toStdString();
    // Filled to the last page.
    const int fd = ::open((target + "/filler").constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const QByteArray page(4096, 'f');
    while (::write(fd, page.constData(), size_t(page.size())) > 0) {
    }
    ::close(fd);

    saveDialog.answer = out.filePath("搜索结果.csv");
    ui.mnuExport->trigger();
    EXPECT_EQ(messages.shown, QStringList{"导出失败|16|提示"});
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"filler"});
}

// Where the folder takes no file, or the user cancels, no file and no temporary file stay.
TEST(WriteResultCsv, AReadOnlyFolderOrACancelLeavesNothingBehind)
{
    ResultList list;
    for (int i = 0; i < 10000; ++i) { // more than a step of rows
        search::ResultRow row;
        row.folder = "/d";
        row.name = "f" + QByteArray::number(i);
        list.append(row);
    }
    list.flush();
    std::vector<int> rows(10000);
    for (int i = 0; i < 10000; ++i)
        rows[size_t(i)] = i;

    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/ro";
    ASSERT_EQ(::mkdir(folder.constData(), 0555), 0);
    const int error = asUnprivilegedUser(QFile::encodeName(dir.path()), [&] {
        platform::OperationProgress progress;
        return actions::writeResultCsv(QFile::decodeName(folder + "/out.csv"), list, rows, progress).error;
    });
    EXPECT_NE(error, 0);
    EXPECT_TRUE(QDir(QFile::decodeName(folder)).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
    struct CancelledAtFirstStep : platform::OperationProgress {
        void advanced() override { cancel(); }
    } atFirstStep;
    EXPECT_EQ(actions::writeResultCsv(QFile::decodeName(folder + "/out.csv"), list, rows, atFirstStep).error, ECANCELED);
    platform::OperationProgress cancelledEarly;
    cancelledEarly.cancel();
    const std::span<const int> fewerThanAStep(rows.data(), 10); // seen before the file takes its name
    EXPECT_EQ(actions::writeResultCsv(QFile::decodeName(folder + "/out.csv"), list, fewerThanAStep, cancelledEarly).error,
              ECANCELED);
    EXPECT_TRUE(QDir(QFile::decodeName(folder)).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

} // namespace
