// Runs one search through the real main window, as a click on the start button would, with the
// controls set from the command line; prints the rows and what the search cost.
#include "actions/result_export.h"
#include "mainwindow/form1.h"
#include "mainwindow/form1_controls.h"
#include "mainwindow/option_box.h"
#include "mainwindow/result_view.h"
#include "platform/desktop/save_dialog.h"
#include "platform/files/posix_file_system.h"
#include "platform/session/cache_file.h"
#include "platform/session/heap_settings.h"
#include "platform/session/settings_store.h"
#include "platform/message_boxes.h"
#include "search/results/result_list.h"
#include "search/results/result_order.h"
#include "search/search_command.h"

#include "processor_stalls.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCommandLineParser>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sched.h>
#include <sys/resource.h>

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <optional>

namespace {

// The settings as the benchmark gives them: nothing stored but, with --no-memory, remember=0.
class BenchSettings : public platform::SettingsStore {
public:
    bool remember = true;
    QString read(const QString&, const QString& key, const QString& defaultValue) override
    {
        return key == QStringLiteral("remember") && !remember ? QStringLiteral("0") : defaultValue;
    }
    void write(const QString&, const QString&, const QString&) override {}
};

// A validation message is printed instead of shown, so that scripts can read it.
class PrintedMessages : public platform::MessageBoxes {
public:
    platform::MessageAnswer show(const QString& prompt, platform::MessageStyle, const QString&) override
    {
        std::printf("%s\n", prompt.toUtf8().constData());
        return platform::MessageAnswer::Ok;
    }
};

// The export's dialog answers with the file named on the command line.
class FixedSaveDialog : public platform::SaveDialog {
public:
    explicit FixedSaveDialog(QString path) : path_(std::move(path)) {}
    QString askSavePath(QWidget*, const QString&, const QString&, const QString&) override { return path_; }

private:
    QString path_;
};

// The header section of a column named on the command line, or -1.
int sortSection(const QString& column)
{
    const QStringList columns{QStringLiteral("name"), QStringLiteral("path"), QStringLiteral("size"),
                              QStringLiteral("date")};
    return int(columns.indexOf(column));
}

} // namespace

int main(int argc, char** argv)
{
    platform::setHeapForManyRows(argv); // as the program does
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs one search through the real window and prints what it cost."));
    parser.addHelpOption();
    const QCommandLineOption locationOption(QStringLiteral("location"), QStringLiteral("The location field."),
                                            QStringLiteral("TEXT"), search::allVolumesLocation());
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("The name field."), QStringLiteral("TEXT"));
    const QCommandLineOption typeOption(QStringLiteral("type"), QStringLiteral("The file type's index."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption wholeWordOption(QStringLiteral("whole-word"), QStringLiteral("Tick 全字匹配."));
    const QCommandLineOption caseOption(QStringLiteral("case"), QStringLiteral("Tick 区分大小写."));
    const QCommandLineOption hiddenOption(QStringLiteral("hidden"), QStringLiteral("Tick 包括隐藏文件."));
    const QCommandLineOption pinyinOption(QStringLiteral("pinyin"), QStringLiteral("Tick 拼音匹配."));
    const QCommandLineOption rowsOption(QStringLiteral("rows"), QStringLiteral("Print every row."));
    const QCommandLineOption noReadAheadOption(QStringLiteral("no-read-ahead"),
                                               QStringLiteral("Read every folder on the window's thread."));
    const QCommandLineOption workersOption(QStringLiteral("workers"), QStringLiteral("A fixed number of workers."),
                                           QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption sortOption(QStringLiteral("sort"),
                                        QStringLiteral("After the search, click the header of name, path, size or date once "
                                                       "(ascending) and print the seconds until the list shows it."),
                                        QStringLiteral("COLUMN"));
    const QCommandLineOption sortDuringOption(QStringLiteral("sort-during"),
                                              QStringLiteral("Click the header of name, path, size or date at the search's "
                                                             "first yield: the rows found after it merge into place."),
                                              QStringLiteral("COLUMN"));
    const QCommandLineOption sortKeptOption(QStringLiteral("sort-kept"),
                                            QStringLiteral("Sort by name, path, size or date before the search, as a sort "
                                                           "kept from the last one: every row found merges into place."),
                                            QStringLiteral("COLUMN"));
    const QCommandLineOption stopOption(QStringLiteral("stop-after-rows"),
                                        QStringLiteral("Press 停止搜索 once N rows are in the list."), QStringLiteral("N"),
                                        QStringLiteral("0"));
    const QCommandLineOption exportOption(QStringLiteral("export"),
                                          QStringLiteral("At the end, export the rows as 导出结果… does, into FILE, and "
                                                         "print the seconds it took."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption rememberOption(
        QStringLiteral("remember"),
        QStringLiteral("Keep the walks' memory in the user's cache file as the program does: read at start, "
                       "written at the end."));
    const QCommandLineOption typeAheadOption(
        QStringLiteral("type-ahead"),
        QStringLiteral("After the search, type TEXT into the name field a key at a time and print the slowest "
                       "key's milliseconds until the list shows the memory's answer."),
        QStringLiteral("TEXT"));
    const QCommandLineOption noMemoryOption(QStringLiteral("no-memory"),
                                            QStringLiteral("Keep no memory of the walk (remember=0)."));
    const QCommandLineOption stallsOption(
        QStringLiteral("watch-stalls"),
        QStringLiteral("Watch for times when a processor stood still, taken away by the host of a virtual "
                       "machine (needs real-time scheduling), and print the window's longest gap less them."));
    parser.addOptions({stallsOption, noMemoryOption, locationOption, nameOption, typeOption, wholeWordOption, caseOption, hiddenOption, pinyinOption,
                       rowsOption, noReadAheadOption, workersOption, sortOption, sortDuringOption, sortKeptOption,
                       stopOption, exportOption, rememberOption, typeAheadOption});
    parser.process(app);
    bool typeOk = false, workersOk = false;
    const int type = parser.value(typeOption).toInt(&typeOk);
    const int workers = parser.value(workersOption).toInt(&workersOk);
    bool stopOk = false;
    const qint64 stopAfterRows = parser.value(stopOption).toLongLong(&stopOk);
    const int sortAfter = parser.isSet(sortOption) ? sortSection(parser.value(sortOption)) : -2;
    const int sortDuring = parser.isSet(sortDuringOption) ? sortSection(parser.value(sortDuringOption)) : -2;
    const int sortKept = parser.isSet(sortKeptOption) ? sortSection(parser.value(sortKeptOption)) : -2;
    if (!typeOk || !workersOk || !stopOk || !parser.positionalArguments().isEmpty() || sortAfter == -1
        || sortDuring == -1 || sortKept == -1) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    const bool rows = parser.isSet(rowsOption);

    platform::PosixFileSystem fileSystem;
    PrintedMessages messages;
    FixedSaveDialog saveDialog(parser.value(exportOption));
    search::ReadAheadPolicy readAheadPolicy =
        parser.isSet(noReadAheadOption) ? search::ReadAheadPolicy::off() : search::ReadAheadPolicy{};
    readAheadPolicy.workers = workers;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    BenchSettings settings;
    settings.remember = !parser.isSet(noMemoryOption);
    mainwindow::Form1 window({.fileSystem = fileSystem, .messages = &messages, .settings = &settings,
                               .saveDialog = &saveDialog, .readAhead = readAheadPolicy,
                               .memoryFolder = parser.isSet(rememberOption) ? platform::cacheFolder() : QString()});
    const mainwindow::Form1Controls controls = mainwindow::Form1Controls::of(window);
    controls.Text1->setText(parser.value(nameOption));
    controls.Combo1->setEditText(parser.value(locationOption));
    controls.Combo2->setCurrentIndex(type);
    controls.Check1->setChecked(parser.isSet(wholeWordOption));
    controls.Check2->setChecked(parser.isSet(caseOption));
    controls.Check3->setChecked(parser.isSet(hiddenOption));
    controls.Check4->setChecked(parser.isSet(pinyinOption));
    window.show();
    QApplication::processEvents();
    // The search is pressed once the memory is read, so that first_rows_ms is the answer's own.
    window.waitForMemory();
    const double memoryReadMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();

    QHeaderView* header = controls.List1->horizontalHeader();
    if (sortKept >= 0)
        header->setSortIndicator(sortKept, Qt::AscendingOrder);
    if (sortDuring >= 0) // runs in the walk's first yield, once the search has emptied the list
        QTimer::singleShot(0, &window, [header, sortDuring] { header->setSortIndicator(sortDuring, Qt::AscendingOrder); });
    // The stop button is pressed at the yield after the rows came, as a user would press it.
    std::optional<Clock::time_point> stopPressed;
    std::optional<Clock::time_point> firstRows;
    QObject::connect(&window.results(), &QAbstractItemModel::rowsInserted, &window, [&] {
        if (!firstRows)
            firstRows = Clock::now();
    });
    if (stopAfterRows > 0) {
        QObject::connect(&window.results(), &QAbstractItemModel::rowsInserted, controls.Command2, [&] {
            if (stopPressed || window.results().totalRows() < stopAfterRows)
                return;
            stopPressed = Clock::now();
            QMetaObject::invokeMethod(controls.Command2, &QPushButton::click, Qt::QueuedConnection);
        });
    }
    // The window's turns: each time its event loop wakes, during the search.
    std::optional<ProcessorStalls> stalls;
    std::vector<ProcessorStalls::Turn> windowTurns;
    if (parser.isSet(stallsOption)) {
        stalls.emplace();
        windowTurns.reserve(1 << 16);
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &window,
                         [&windowTurns] { windowTurns.push_back({Clock::now(), sched_getcpu()}); });
    }
    const Clock::time_point pressed = Clock::now();
    windowTurns.push_back({pressed, sched_getcpu()});
    controls.Command1->click();
    const Clock::time_point ended = Clock::now();
    windowTurns.push_back({ended, sched_getcpu()});
    if (stalls) {
        stalls->stop();
        QObject::disconnect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &window, nullptr);
    }
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const double firstRowsMs = firstRows ? ms(*firstRows - pressed) : -1;
    const double confirmedS = ms(ended - pressed) / 1000;
    double typeMs = -1;
    if (parser.isSet(typeAheadOption)) {
        // Each key as the user types it; the list shows the memory's first rows before it returns.
        controls.Text1->clear();
        for (const QChar key : parser.value(typeAheadOption)) {
            const Clock::time_point typed = Clock::now();
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(key));
            QApplication::sendEvent(controls.Text1, &press);
            QApplication::processEvents();
            typeMs = std::max(typeMs, ms(Clock::now() - typed));
        }
    }
    const double stopMs =
        stopPressed ? std::chrono::duration<double, std::milli>(Clock::now() - *stopPressed).count() : -1;
    // Rows that a sorted search left waiting go into their places, a slice at a time, after it.
    QElapsedTimer settling;
    settling.start();
    while (window.resultOrder().hasWaitingRows())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double settleSeconds = double(settling.nsecsElapsed()) / 1e9;
    double sortSeconds = -1;
    if (sortAfter >= 0) {
        QElapsedTimer sorting;
        sorting.start();
        header->setSortIndicator(sortAfter, Qt::AscendingOrder);
        QApplication::processEvents(); // the view lays the sorted list out
        sortSeconds = double(sorting.nsecsElapsed()) / 1e9;
    }

    double exportSeconds = -1;
    if (parser.isSet(exportOption)) {
        QElapsedTimer exporting;
        exporting.start();
        window.resultExport().exportClicked();
        exportSeconds = double(exporting.nsecsElapsed()) / 1e9;
    }

    const search::ResultList& results = window.results();
    if (rows) { // in the order the list shows them
        for (int r = 0; r < results.rowCount(); ++r) {
            const search::ResultRow& row = results.row(window.resultOrder().listRow(r));
            const QByteArray line = row.name.bytes() + '\t' + row.pathBytes() + '\t' + row.sizeText().toUtf8() + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        }
    }
    const search::SearchStats& stats = window.searchCommand().stats();
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    if (sortSeconds >= 0)
        std::printf("sort_seconds=%.3f ", sortSeconds);
    if (exportSeconds >= 0)
        std::printf("export_s=%.3f ", exportSeconds);
    if (sortDuring >= 0 || sortKept >= 0)
        std::printf("settle_seconds=%.3f max_merge_ms=%.1f ", settleSeconds,
                    std::chrono::duration<double, std::milli>(window.resultOrder().longestMerge()).count());
    std::printf("rows=%lld entries=%lld folders=%lld seconds=%.3f max_gap_ms=%.1f peak_rss_kib=%ld threads=%d "
                "stop_ms=%.1f first_rows_ms=%.1f confirmed_s=%.3f start_ms=%.1f",
                static_cast<long long>(results.totalRows()), static_cast<long long>(stats.entries),
                static_cast<long long>(window.searchCommand().state().FolderQueue.queuedTotal()),
                std::chrono::duration<double>(stats.duration).count(),
                std::chrono::duration<double, std::milli>(stats.longestGap).count(), usage.ru_maxrss,
                stats.readAheadThreads, stopMs, firstRowsMs, confirmedS, ms(pressed - started));
    if (typeMs >= 0)
        std::printf(" type_ms=%.1f", typeMs);
    if (parser.isSet(rememberOption))
        std::printf(" memory_read_ms=%.1f", memoryReadMs);
    if (stalls)
        std::printf(" processor_stall_ms=%.1f gap_less_stalls_ms=%.1f",
                    stalls->watching() ? ms(stalls->longestStallWithin(pressed, ended)) : -1.0,
                    ms(stalls->longestGapLessStalls(windowTurns)));
    std::printf("\n");
    window.close(); // the memory is written as at the program's close
    return 0;
}
