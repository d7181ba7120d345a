#pragma once

#include "search/walk/folder_walker.h"
#include "search/found_rows.h"
#include "search/location_check.h"
#include "search/location_history.h"
#include "search/memory_rows.h"
#include "search/match/match_criteria.h"
#include "search/search_request.h"

#include <chrono>
#include <optional>
#include <vector>

namespace platform {
class FileSystem;
class IconSource;
class MessageBoxes;
} // namespace platform

namespace search {

class ResultList;
class SearchWindow;

// The location that searches every listed volume, the first entry of the location list.
QString allVolumesLocation();

// The start and stop commands of the main window. Start checks the request's location, has the
// window lock itself, runs the walk and finishes: the count, the end text, the location history,
// the unlock. Everything runs on the window's thread; other handlers run only inside the walk's
// yields, which it hands to the window.
class SearchCommand {
public:
    SearchCommand(SearchWindow& window, platform::FileSystem& fileSystem, platform::IconSource& icons,
                  platform::MessageBoxes& messages, ResultList& results, YieldPolicy policy = {},
                  ReadAheadPolicy readAhead = {});

    // The start button. False when the location was refused and nothing was searched.
    bool StartSearch(const SearchRequest& request);
    void StopSearch(); // the stop button
    // The window is closing: the running search stops at its next entry, and the queue goes.
    void windowClosing();
    // An action inside a yield changed the disk: the walk does not report what it read before.
    void diskChanged(const QByteArray& path);
    void entryRenamed(const QByteArray& from, const QByteArray& to);
    // An action deleted an entry: its rows and those below it go, and the count says so.
    void entryDeleted(const QByteArray& path);
    void entriesDeleted(const std::vector<QByteArray>& paths);

    // The walks record what they list there (nothing: they do not); the memory is the walk's
    // while a search runs.
    // A search whose location it remembers shows the memory's answer first, and the walk then
    // confirms it row by row.
    void setMemory(WalkMemory* memory)
    {
        memory_ = memory;
        walker_.setMemory(memory);
    }

    // While no search runs: the memory's answer to the request, not yet confirmed, its first
    // rows at once; false where its location is not remembered, and the list stays as it was.
    bool showRemembered(const SearchRequest& request, const WalkMemory& memory);
    // The rest of that answer, a slice at a time; whether more is left.
    bool continueRemembered(size_t maxRows);

    // How fast a search's answer from memory joins the list: its first rows before the walk, then
    // steps of rows at every so many of the walk's yields, for as long as the time allows (one
    // step at least).
    struct AnswerPace {
        size_t firstRows = 4096;
        size_t rowsPerStep = 1024;
        std::chrono::nanoseconds perYield = std::chrono::milliseconds(4);
        int everyYields = 1;
    };
    void setAnswerPace(const AnswerPace& pace) { pace_ = pace; }

    bool isRunning() const { return running_; }
    // The tests the last search put every entry to.
    const MatchCriteria& criteria() const { return criteria_; }
    const SearchState& state() const { return walker_.state(); }
    const SearchStats& stats() const { return walker_.stats(); }

private:
    // The roots the request searches, and the location as a search takes it; a location refused
    // is told to the user where tell is set.
    std::optional<WalkRoots> rootsToWalk(const SearchRequest& request, LocationEntry& searched, bool tell = true);
    void refuse(LocationCheck outcome);
    // The memory's answer to the search: its first rows before the walk, the rest at the walk's
    // yields; whether there was one.
    bool answerFirst(const std::vector<QByteArray>& roots);
    void continueAnswer();
    void showProgress(const WalkProgress& progress);
    void finish(bool stopped, int64_t unconfirmedRows);

    SearchWindow& window_;
    platform::FileSystem& fileSystem_;
    platform::MessageBoxes& messages_;
    ResultList& results_;
    FoundRows found_;
    FolderWalker walker_;

    MatchCriteria criteria_;
    WalkMemory* memory_ = nullptr;
    bool running_ = false;
    bool confirming_ = false;      // the walk confirms rows shown from memory
    bool stoppedBeforeWalk_ = false; // a stop while the memory's answer was being shown
    LocationEntry searched_; // the location as the search took it, its text trimmed
    std::unique_ptr<MemoryRows> remembered_; // an answer from memory being shown, as typed or as a walk starts
    std::vector<std::shared_ptr<AnswerFolders>> answerFolders_; // of the last answer, for the next
    AnswerPace pace_;
    int yieldsToStep_ = 0;
};

} // namespace search
