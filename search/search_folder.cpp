// The walk of one folder: every sub-folder joins the queue, every entry meets the request's
// tests, and accepted entries become rows.
#include "search/search_command.h"

#include "platform/file_attributes.h"
#include "platform/file_name_text.h"
#include "platform/file_system.h"
#include "platform/icon_source.h"
#include "platform/search_controls.h"
#include "search/extension.h"
#include "search/file_type_categories.h"
#include "search/result_list.h"
#include "search/result_texts.h"

namespace search {
namespace {

// Reading the clock costs more than handling a plain entry, so it is read every few entries.
constexpr int kEntriesPerClockCheck = 16;

bool isDotEntry(QByteArrayView name)
{
    return name == "." || name == "..";
}

} // namespace

void SearchCommand::SearchFolder(QueuedFolder folder)
{
    const std::unique_ptr<platform::FolderListing> listing =
        fileSystem_.listFolder(folder.path, {folder.parentVolume, folder.sameVolumeOnly});
    if (!listing)
        return; // the progress text keeps what it showed
    bool progressShown = false;
    while (listing->next()) {
        state_.ExtMatched = false;
        if (state_.StopRequested)
            return;
        const QByteArrayView name = listing->name();
        if (!isDotEntry(name)) {
            ++stats_.entries;
            if (!progressShown) {
                progressFolder_ = folder.path;
                progressWaiting_ = progressShown = true;
            }
            const std::optional<uint32_t> attributes = listing->attributes();
            const bool isDirectory = attributes && (*attributes & platform::Directory);
            // An entry whose attributes cannot be read counts as a folder: queued, and its own
            // listing later yields nothing.
            const bool isFolder = !attributes || isDirectory;
            if (isFolder) {
                ++state_.FolderCount;
                state_.FolderQueue.push_back(
                    {platform::joinPath(folder.path, name), listing->volume(), folder.sameVolumeOnly});
            }
            if (acceptEntry(*listing, isFolder, attributes))
                AddResultRow(folder.path, *listing, isFolder, isDirectory);
        }
        afterEntry();
    }
}

bool SearchCommand::acceptEntry(platform::FolderListing& listing, bool isFolder,
                                std::optional<uint32_t> attributes)
{
    const Request& q = request_;
    const bool byExtension = q.category >= 1 && q.category <= 8;
    // The cheap tests first: the folder rule of the category and the hidden test need no name.
    if ((byExtension && isFolder) || (q.category == 9 && !isFolder))
        return false;
    if (!q.includeHidden && (!attributes || (*attributes & (platform::Hidden | platform::System))))
        return false;

    const bool needsName = byExtension || q.wholeWord || !state_.CmpPattern.empty()
        || !state_.ExtPattern.isEmpty();
    if (!needsName)
        return true;
    decodeFileName(listing.name(), !q.caseSensitive, state_.CmpName);
    const CodePointView name = state_.CmpName;

    if (byExtension) {
        const CodePointView extension = GetExtension(name);
        const bool passes = q.caseSensitive ? passesCategory(q.category, upperCased(extension), false)
                                            : passesCategory(q.category, extension, false);
        if (!passes)
            return false;
    }
    // Whole word: the name matches the pattern, with or without case as asked; the contains and
    // extension tests do not apply on top of it. A malformed pattern finds nothing.
    if (q.wholeWord)
        return q.wholeWordPattern && q.wholeWordPattern->matches(name);

    if (name.find(state_.CmpPattern) != CodePointView::npos)
        return true;
    // No extension filter, no extension test: otherwise every name ending in "." would match.
    if (!state_.ExtPattern.isEmpty())
        state_.ExtMatched = q.extMalformed || q.extPattern->matches(GetExtension(name));
    return state_.ExtMatched;
}

void SearchCommand::AddResultRow(const QByteArray& folder, platform::FolderListing& listing,
                                 bool isFolder, bool isDirectory)
{
    ++state_.MatchCount;
    ResultRow row;
    row.folder = folder;
    row.name = listing.name().toByteArray();
    row.icon = icons_.GetFileIcon(platform::fileNameText(row.name), isDirectory);
    if (const std::optional<platform::EntryIdentity> identity = listing.identity())
        row.identity = *identity;
    if (!isFolder) {
        if (const std::optional<int64_t> length = listing.length()) {
            row.size = *length;
            row.hasSize = true;
        }
    }
    results_.append(std::move(row));
    countWaiting_ = true;
}

void SearchCommand::afterEntry()
{
    if (policy_.interval.count() > 0) {
        if (++entriesSinceClockCheck_ < kEntriesPerClockCheck)
            return;
        entriesSinceClockCheck_ = 0;
        if (std::chrono::steady_clock::now() - lastYield_ < policy_.interval)
            return;
    }
    yieldToWindow();
}

void SearchCommand::yieldToWindow()
{
    const auto now = std::chrono::steady_clock::now();
    stats_.longestGap = std::max(stats_.longestGap, std::chrono::nanoseconds(now - lastYield_));
    lastYield_ = now;
    ++stats_.yields;

    // Everything the walk did since the last yield reaches the window before any handler runs.
    results_.flush();
    if (progressWaiting_) {
        const QString folder = progressFolder_.isEmpty() ? QStringLiteral("/") : platform::pathText(progressFolder_);
        controls_.setStatusText(2, QStringLiteral("正在搜索: ") + folder);
        progressWaiting_ = false;
    }
    if (countWaiting_) {
        controls_.setStatusText(1, countText(results_.totalRows()));
        countWaiting_ = false;
    }
    controls_.processEvents();
}

} // namespace search
