#pragma once

#include "search/walk/folder_walker.h"
#include "search/found_rows.h"
#include "search/location_check.h"
#include "search/search_request.h"

#include <optional>

namespace platform {
class FileSystem;
class IconSource;
class MessageBoxes;
} // namespace platform

namespace search {

class ResultList;
class SearchControls;

// The location that searches every listed volume, the first entry of the location list.
QString allVolumesLocation();

// The start and stop commands of the main window. Start checks the location, locks the window,
// reads the request, runs the walk and finishes: the count, the location history, the unlock.
// Everything runs on the window's thread; other handlers run only inside the walk's yields.
class SearchCommand {
public:
    SearchCommand(SearchControls& controls, platform::FileSystem& fileSystem, platform::IconSource& icons,
                  platform::MessageBoxes& messages, ResultList& results, YieldPolicy policy = {},
                  ReadAheadPolicy readAhead = {});

    // The start button. False when the location was refused and nothing was searched.
    bool StartSearch();
    void StopSearch(); // the stop button
    // The window is closing: the running search stops at its next entry, and the queue goes.
    void windowClosing();
    // An action inside a yield changed the disk: the walk does not report what it read before.
    void diskChanged(const QByteArray& path);
    void entryRenamed(const QByteArray& from, const QByteArray& to);

    bool isRunning() const { return running_; }
    const SearchRequest& request() const { return request_; }
    const SearchState& state() const { return walker_.state(); }
    const SearchStats& stats() const { return walker_.stats(); }

private:
    std::optional<WalkRoots> rootsToWalk();
    void refuse(LocationCheck outcome);
    void lockWindow(bool searching);
    SearchRequest readRequest() const;
    void showProgress(const WalkProgress& progress);
    void finish();
    void rememberLocation();

    SearchControls& controls_;
    platform::FileSystem& fileSystem_;
    platform::MessageBoxes& messages_;
    ResultList& results_;
    FoundRows found_;
    FolderWalker walker_;

    SearchRequest request_;
    bool running_ = false;
    QString searchedLocation_; // the location text as the search took it, trimmed
    QByteArray searchedBytes_;
};

} // namespace search
