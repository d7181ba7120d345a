#pragma once

#include "search/search_state.h"
#include "search/wildcard_match.h"

#include <chrono>
#include <optional>

namespace platform {
class FileSystem;
class FolderListing;
class IconSource;
class MessageBoxes;
class SearchControls;
struct ListingBounds;
} // namespace platform

namespace search {

class ResultList;

// How often the walk gives the window its turn. Zero yields after every directory entry, as the
// window always did; a positive interval yields when that much time has passed, which keeps a
// handler's wait below it while the walk runs at full speed.
struct YieldPolicy {
    std::chrono::nanoseconds interval{0};
};

// What the last search did, for the benchmark driver.
struct SearchStats {
    int64_t entries = 0; // directory entries handled, "." and ".." not counted
    int64_t yields = 0;
    std::chrono::nanoseconds longestGap{0}; // between the starts of two yields
    std::chrono::nanoseconds duration{0};
};

// The start and stop commands of the main window and the walk behind them. Everything runs on
// the window's thread; other handlers run only inside the walk's yields.
class SearchCommand {
public:
    SearchCommand(platform::SearchControls& controls, platform::FileSystem& fileSystem,
                  platform::IconSource& icons, platform::MessageBoxes& messages, ResultList& results,
                  YieldPolicy policy = {});

    void StartSearch(); // the start button
    void StopSearch();  // the stop button
    // The window is closing: the running search stops at its next entry, and the queue goes.
    void CloseWindow();

    bool isRunning() const { return running_; }
    const SearchState& state() const { return state_; }
    const SearchStats& stats() const { return stats_; }

private:
    // The request as it stands when the search starts; the controls are locked meanwhile.
    struct Request {
        int category = 0;
        bool wholeWord = false;
        bool caseSensitive = false;
        bool includeHidden = false;
        std::optional<WildcardPattern> wholeWordPattern; // nothing when malformed
        std::optional<WildcardPattern> extPattern;        // nothing when malformed
        bool extMalformed = false;
    };

    std::optional<QByteArray> validatedRoot();
    void lockWindow(bool searching);
    void readRequest();
    bool runQueue(size_t& cursor); // false when a stop ended it
    void finish();

    void SearchFolder(QueuedFolder folder);
    bool acceptEntry(platform::FolderListing& listing, bool isFolder, std::optional<uint32_t> attributes);
    void AddResultRow(const QByteArray& folder, platform::FolderListing& listing, bool isFolder,
                      bool isDirectory);
    void afterEntry();
    void yieldToWindow();

    platform::SearchControls& controls_;
    platform::FileSystem& fileSystem_;
    platform::IconSource& icons_;
    platform::MessageBoxes& messages_;
    ResultList& results_;
    YieldPolicy policy_;

    SearchState state_;
    Request request_;
    SearchStats stats_;
    bool running_ = false;

    // Texts that reach the status bar at the next yield.
    QByteArray progressFolder_;
    bool progressWaiting_ = false;
    bool countWaiting_ = false;
    int entriesSinceClockCheck_ = 0;
    std::chrono::steady_clock::time_point lastYield_;
};

} // namespace search
