// Runs one search through the real main window, as a click on the start button would, with the
// controls set from the command line; prints the rows and what the search cost.
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "platform/message_boxes.h"
#include "platform/posix_file_system.h"
#include "search/result_list.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "mainwindow/option_box.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A validation message is printed instead of shown, so that scripts can read it.
class PrintedMessages : public platform::MessageBoxes {
public:
    platform::MessageAnswer show(const QString& prompt, platform::MessageStyle, const QString&) override
    {
        std::printf("%s\n", prompt.toUtf8().constData());
        return platform::MessageAnswer::Ok;
    }
};

int usage()
{
    std::fprintf(stderr,
                 "usage: sorvane-bench [--location TEXT] [--name TEXT] [--type N] [--whole-word]\n"
                 "                     [--case] [--hidden] [--rows] [--no-read-ahead] [--workers N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QString location = QStringLiteral("全盘搜索"), name;
    int type = 0, workers = 0;
    bool wholeWord = false, caseSensitive = false, hidden = false, rows = false, readAhead = true;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (!std::strcmp(a, "--location") || !std::strcmp(a, "--name") || !std::strcmp(a, "--type")) {
            const char* v = value();
            if (!v)
                return usage();
            if (!std::strcmp(a, "--location"))
                location = QString::fromLocal8Bit(v);
            else if (!std::strcmp(a, "--name"))
                name = QString::fromLocal8Bit(v);
            else
                type = std::atoi(v);
        } else if (!std::strcmp(a, "--whole-word")) {
            wholeWord = true;
        } else if (!std::strcmp(a, "--case")) {
            caseSensitive = true;
        } else if (!std::strcmp(a, "--hidden")) {
            hidden = true;
        } else if (!std::strcmp(a, "--rows")) {
            rows = true;
        } else if (!std::strcmp(a, "--no-read-ahead")) {
            readAhead = false;
        } else if (!std::strcmp(a, "--workers")) {
            const char* v = value();
            if (!v)
                return usage();
            workers = std::atoi(v);
        } else {
            return usage();
        }
    }

    QApplication app(argc, argv);
    platform::PosixFileSystem fileSystem;
    PrintedMessages messages;
    search::ReadAheadPolicy readAheadPolicy = readAhead ? search::ReadAheadPolicy{} : search::ReadAheadPolicy::off();
    readAheadPolicy.workers = workers;
    mainwindow::Form1 window({.fileSystem = fileSystem, .messages = &messages, .settings = nullptr,
                               .readAhead = readAheadPolicy});
    const mainwindow::Form1Controls controls = mainwindow::Form1Controls::of(window);
    controls.Text1->setText(name);
    controls.Combo1->setEditText(location);
    controls.Combo2->setCurrentIndex(type);
    controls.Check1->setChecked(wholeWord);
    controls.Check2->setChecked(caseSensitive);
    controls.Check3->setChecked(hidden);
    window.show();
    QApplication::processEvents();

    controls.Command1->click();

    const search::ResultList& results = window.results();
    if (rows) {
        for (int r = 0; r < results.rowCount(); ++r) {
            const search::ResultRow& row = results.row(r);
            const QByteArray line = row.name + '\t' + row.pathBytes() + '\t' + row.sizeText().toUtf8() + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        }
    }
    const search::SearchStats& stats = window.searchCommand().stats();
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows=%lld entries=%lld folders=%lld seconds=%.3f max_gap_ms=%.1f peak_rss_kib=%ld threads=%d\n",
                static_cast<long long>(results.totalRows()), static_cast<long long>(stats.entries),
                static_cast<long long>(window.searchCommand().state().FolderQueue.queuedTotal()),
                std::chrono::duration<double>(stats.duration).count(),
                std::chrono::duration<double, std::milli>(stats.longestGap).count(), usage.ru_maxrss,
                stats.readAheadThreads);
    return 0;
}
