#pragma once
// Stand-ins for the platform: an in-memory file tree, a window that records every call, message
// boxes and icons that answer at once. A search runs against them exactly as against the window.
#include "fake_file_system.h"

#include "platform/icon_source.h"
#include "platform/message_boxes.h"
#include "search/results/result_list.h"
#include "search/search_command.h"
#include "search/search_window.h"
#include "tests/support/qt_printers.h"
#include "tests/support/recording_messages.h"

#include <QMap>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

namespace fakes {

// The window as a search sees it: the request's controls as plain values, and every call the
// search makes on it recorded in order; processEvents() hands the yield number (from 1 in each
// search) to the test.
class FakeWindow : public search::SearchWindow {
public:
    // The request the window would make of its controls: a listed entry's bytes for its text,
    // only a ticked box (state 1) counting, and every listed volume for "全盘搜索".
    search::SearchRequest request() const
    {
        search::SearchRequest r;
        r.name = name;
        r.category = category;
        r.wholeWord = checks[1] == 1;
        r.caseSensitive = checks[2] == 1;
        r.includeHidden = checks[3] == 1;
        r.pinyin = checks[4] == 1;
        r.location = location;
        if (const int index = int(entries.indexOf(location)); index >= 0 && bytes.contains(index))
            r.locationBytes = bytes.value(index);
        for (int i = 1; i < entries.size(); ++i)
            r.volumes.push_back(bytes.contains(i) ? bytes.value(i) : platform::fileNameBytes(entries.value(i)));
        return r;
    }

    void setSearching(bool searching) override { log.push_back(searching ? "searching" : "idle"); }
    void showStatus(search::StatusPanel panel, const QString& text) override
    {
        const int number = panel == search::StatusPanel::State ? 1 : 2;
        status[number] = text;
        log.push_back(QString("status%1 %2").arg(number).arg(text));
    }
    void rememberLocation(const search::LocationEntry& searched) override
    {
        if (const auto entry = search::locationToRemember(location, entries, searched)) {
            bytes[int(entries.size())] = entry->bytes;
            entries << entry->text;
            log.push_back("append " + entry->text);
        }
    }
    void processEvents() override
    {
        ++yields;
        if (onYield)
            onYield(yields);
    }

    QString name = "*";
    QString location;
    QStringList entries{"全盘搜索"};
    QMap<int, QByteArray> bytes; // entries whose bytes differ from their text's UTF-8
    int category = 0;
    int checks[5] = {}; // Check1 to Check4 at 1 to 4: 0 unticked, 1 ticked, 2 greyed
    QString status[3];
    std::vector<QString> log;
    int yields = 0;
    std::function<void(int)> onYield;
};

using FakeMessages = testsupport::RecordingMessages;

// One image number per (name, folder or not), handed out in order of first request.
class FakeIcons : public platform::IconSource {
public:
    uint32_t GetFileIcon(QStringView name, bool isFolder) override
    {
        auto [it, added] = numbers.try_emplace({name.toString(), isFolder}, uint32_t(numbers.size() + 1));
        return it->second;
    }
    std::map<std::pair<QString, bool>, uint32_t> numbers;
};

// A whole search set-up, one image and message box per call, yielding after every entry.
template <class FileSystem = FakeFileSystem>
struct Harness {
    explicit Harness(search::ReadAheadPolicy readAhead = search::ReadAheadPolicy::off())
        : command(controls, fs, icons, messages, results, {}, readAhead)
    {
    }

    FileSystem fs;
    FakeWindow controls;
    FakeMessages messages;
    FakeIcons icons;
    search::ResultList results;
    search::SearchCommand command;

    QStringList search(const QString& location, const QString& name = "*")
    {
        controls.location = location;
        controls.name = name;
        controls.yields = 0;
        command.StartSearch(controls.request());
        return paths();
    }
    QStringList paths() const
    {
        QStringList out;
        for (int i = 0; i < results.totalRows(); ++i)
            out << results.row(i).pathText();
        return out;
    }
    QStringList names() const
    {
        QStringList out;
        for (int i = 0; i < results.totalRows(); ++i)
            out << results.row(i).nameText();
        return out;
    }
};

// n of the window's recorded calls from the one at from, and the last n.
inline QStringList slice(const std::vector<QString>& log, size_t from, size_t n)
{
    QStringList out;
    for (size_t i = from; i < log.size() && i < from + n; ++i)
        out << log[i];
    return out;
}

inline QStringList lastOf(const std::vector<QString>& log, size_t n)
{
    return slice(log, log.size() >= n ? log.size() - n : 0, n);
}

} // namespace fakes
