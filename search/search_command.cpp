#include "search/search_command.h"

#include "platform/files/file_name_text.h"
#include "platform/message_boxes.h"
#include "search/results/result_list.h"
#include "search/results/result_texts.h"
#include "search/search_window.h"

namespace search {
namespace {

MatchCriteria criteriaOf(const SearchRequest& request)
{
    return makeMatchCriteria(request.name, request.category, request.wholeWord, request.caseSensitive,
                             request.includeHidden, request.pinyin);
}

} // namespace

QString allVolumesLocation()
{
    return QStringLiteral("全盘搜索");
}

SearchCommand::SearchCommand(SearchWindow& window, platform::FileSystem& fileSystem, platform::IconSource& icons,
                             platform::MessageBoxes& messages, ResultList& results, YieldPolicy policy,
                             ReadAheadPolicy readAhead)
    : window_(window), fileSystem_(fileSystem), messages_(messages), results_(results), found_(results, icons),
      walker_(fileSystem, found_, [this](const WalkProgress& p) { showProgress(p); }, std::move(policy),
              readAhead)
{
}

bool SearchCommand::StartSearch(const SearchRequest& request)
{
    if (running_)
        return false;
    remembered_.reset(); // the walk changes the memory it reads
    const std::optional<WalkRoots> roots = rootsToWalk(request, searched_);
    if (!roots)
        return false;

    running_ = true;
    window_.setSearching(true);
    window_.showStatus(StatusPanel::State, QStringLiteral("正在搜索..."));
    criteria_ = criteriaOf(request);
    found_.clear();
    stoppedBeforeWalk_ = false;
    confirming_ = answerFirst(roots->paths);
    if (!stoppedBeforeWalk_)
        walker_.walk(criteria_, *roots, remembered_ != nullptr);
    // What the answer had not shown yet names folders the walk has listed, or gone since.
    remembered_.reset();
    const bool stopped = stoppedBeforeWalk_ || walker_.state().StopRequested;
    const int64_t unconfirmed = confirming_ ? found_.endConfirming(!stopped) : 0;
    confirming_ = false;
    finish(stopped, unconfirmed);
    running_ = false;
    return true;
}

// The first rows at once, then the walk; the rest comes at the walk's yields, a few milliseconds
// of it each time (the walk waits meanwhile, and its window's turn with it), a folder's rows
// together. The walk confirms the rows as it lists their folders, and records into the memory
// only once the answer is all shown. A stop before the walk ends the search there, with the
// rows shown not confirmed.
bool SearchCommand::answerFirst(const std::vector<QByteArray>& roots)
{
    if (!memory_)
        return false;
    auto rows = std::make_unique<MemoryRows>(*memory_, roots, criteria_, answerFolders_);
    if (!rows->remembered())
        return false;
    found_.beginConfirming(rows->folders());
    yieldsToStep_ = 0;
    const bool more = rows->next(found_, pace_.firstRows, true);
    if (more)
        remembered_ = std::move(rows);
    else
        found_.answerShown();
    found_.flush();
    window_.showStatus(StatusPanel::State, countText(results_.totalRows()));
    window_.processEvents();
    return true;
}

void SearchCommand::continueAnswer()
{
    if (++yieldsToStep_ < pace_.everyYields)
        return;
    yieldsToStep_ = 0;
    const auto until = std::chrono::steady_clock::now() + pace_.perYield;
    bool more = true;
    do
        more = remembered_->next(found_, pace_.rowsPerStep, true);
    while (more && std::chrono::steady_clock::now() < until);
    found_.flush();
    if (!more) {
        remembered_.reset();
        found_.answerShown();
        walker_.releaseMemory();
    }
}

void SearchCommand::StopSearch()
{
    if (running_)
        stoppedBeforeWalk_ = true; // before the walk; during it, the walk takes the stop as well
    walker_.stop();
    window_.showStatus(StatusPanel::Progress, QString());
}

void SearchCommand::windowClosing()
{
    if (running_) {
        stoppedBeforeWalk_ = true;
        walker_.stop();
    }
    walker_.dropQueue();
}

void SearchCommand::diskChanged(const QByteArray& path)
{
    if (running_)
        walker_.diskChanged(path);
}

void SearchCommand::entryRenamed(const QByteArray& from, const QByteArray& to)
{
    // A row from memory of the folder being listed is confirmed by the rename itself, since the
    // listing may hand out the entry under neither name.
    if (running_) {
        if (remembered_) // the memory's rows under either name are the walk's to find
            for (const QByteArray& path : {from, to})
                found_.leaveOutRemembered(path);
        if (walker_.entryRenamed(from, to))
            results_.confirmEntry(from);
    } else
        results_.movePrefix(from, to);
}

void SearchCommand::entryDeleted(const QByteArray& path)
{
    entriesDeleted({path});
}

void SearchCommand::entriesDeleted(const std::vector<QByteArray>& paths)
{
    if (running_)
        for (const QByteArray& path : paths) {
            walker_.entryDeleted(path);
            if (remembered_)
                found_.leaveOutRemembered(path);
        }
    results_.removeEntries(paths);
    // Panel 1 counts the rows the list holds, as it does while rows are added.
    window_.showStatus(StatusPanel::State, countText(results_.totalRows()));
}

bool SearchCommand::showRemembered(const SearchRequest& request, const WalkMemory& memory)
{
    if (running_)
        return false;
    remembered_.reset();
    LocationEntry notSearched; // only a search tells the history
    const std::optional<WalkRoots> roots = rootsToWalk(request, notSearched, false);
    if (!roots)
        return false;
    auto rows = std::make_unique<MemoryRows>(memory, roots->paths, criteriaOf(request), answerFolders_);
    if (!rows->remembered())
        return false;
    remembered_ = std::move(rows);
    found_.clear();
    window_.showStatus(StatusPanel::Progress, QStringLiteral("按回车核对"));
    continueRemembered(4096);
    return true;
}

bool SearchCommand::continueRemembered(size_t maxRows)
{
    if (!remembered_ || running_)
        return false;
    const bool more = remembered_->next(found_, maxRows);
    found_.flush();
    window_.showStatus(StatusPanel::State, countText(results_.totalRows()));
    if (!more)
        remembered_.reset();
    return more;
}

// The volumes and the locations added after them, or the one checked location. The volumes are
// the request's: the list gains entries only at a search's finish, so each entry read when its
// turn comes would read the same.
std::optional<WalkRoots> SearchCommand::rootsToWalk(const SearchRequest& request, LocationEntry& searched,
                                                    bool tell)
{
    WalkRoots roots;
    if (request.location == allVolumesLocation()) {
        roots.sameVolumeOnly = true;
        roots.paths = request.volumes;
        searched = {request.location, QByteArray()};
        return roots;
    }
    const CheckedLocation checked = checkLocation(fileSystem_, request.location, request.locationBytes);
    if (checked.outcome != LocationCheck::Usable) {
        if (tell)
            refuse(checked.outcome);
        return std::nullopt;
    }
    roots.paths.push_back(checked.root);
    roots.firstMayBeLink = checked.isLink;
    searched = {trimBlanks(request.location), checked.root.isEmpty() ? QByteArray("/") : checked.root};
    return roots;
}

void SearchCommand::refuse(LocationCheck outcome)
{
    using platform::MessageStyle;
    switch (outcome) {
    case LocationCheck::Missing:
        messages_.show(QStringLiteral("指定搜索位置不存在"), MessageStyle::ExclamationOk, QStringLiteral("错误"));
        break;
    case LocationCheck::Blank:
        messages_.show(QStringLiteral("请选择搜索位置"), MessageStyle::ExclamationOk, QStringLiteral("提示"));
        break;
    case LocationCheck::NotAFolder:
        messages_.show(QStringLiteral("指定搜索位置无效"), MessageStyle::ExclamationOk, QStringLiteral("错误"));
        break;
    case LocationCheck::Usable:
        break;
    }
}

void SearchCommand::showProgress(const WalkProgress& progress)
{
    if (progress.folder) {
        const QByteArray& folder = *progress.folder;
        const QString shown = folder.isEmpty() ? QStringLiteral("/") : platform::pathText(folder);
        window_.showStatus(StatusPanel::Progress, QStringLiteral("正在搜索: ") + shown);
    }
    if (remembered_)
        continueAnswer();
    if (progress.rowsAdded || confirming_) // confirming, rows of entries gone leave
        window_.showStatus(StatusPanel::State, countText(results_.totalRows()));
    window_.processEvents();
}

void SearchCommand::finish(bool stopped, int64_t unconfirmedRows)
{
    const int64_t rows = results_.totalRows();
    window_.showStatus(StatusPanel::State, countText(rows));
    // A stop says no more than that the search ended, but for the word on wildcards, which is
    // about the request and holds however far the walk went, and the rows it left unconfirmed.
    const SearchState& state = walker_.state();
    const bool literalWildcards = rows == 0 && wildcardsTakenLiterally(criteria_);
    window_.showStatus(StatusPanel::Progress,
                       stopped ? endText(false, 0, 0, literalWildcards, unconfirmedRows)
                               : endText(state.locationUnreadable, state.unreadableFolders,
                                         state.swappedFolders, literalWildcards));
    window_.rememberLocation(searched_);
    window_.setSearching(false);
}

} // namespace search
