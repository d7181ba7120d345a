#pragma once

#include "search/location_history.h"

#include <QString>

namespace search {

enum class StatusPanel { State, Progress }; // the status bar's panels 1 and 2

// What a search shows on the window. The window implements it; tests put a recorder in its place.
class SearchWindow {
public:
    virtual ~SearchWindow() = default;

    // Locks the controls a running search reads (true) or unlocks them (false).
    virtual void setSearching(bool searching) = 0;
    virtual void showStatus(StatusPanel panel, const QString& text) = 0;
    // At the finish, the location the search took (its text trimmed): the window adds the one
    // standing in its field then to its list where locationToRemember says so.
    virtual void rememberLocation(const LocationEntry& searched) = 0;
    // Runs the pending window events to completion.
    virtual void processEvents() = 0;
};

} // namespace search
