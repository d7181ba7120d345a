#include "search/search_command.h"

#include "platform/files/file_name_text.h"
#include "platform/message_boxes.h"
#include "search/location_history.h"
#include "search/results/result_list.h"
#include "search/results/result_texts.h"
#include "search/search_controls.h"

namespace search {

QString allVolumesLocation()
{
    return QStringLiteral("全盘搜索");
}

SearchCommand::SearchCommand(SearchControls& controls, platform::FileSystem& fileSystem, platform::IconSource& icons,
                             platform::MessageBoxes& messages, ResultList& results, YieldPolicy policy,
                             ReadAheadPolicy readAhead)
    : controls_(controls), fileSystem_(fileSystem), messages_(messages), results_(results), found_(results, icons),
      walker_(fileSystem, found_, [this](const WalkProgress& p) { showProgress(p); }, std::move(policy),
              readAhead)
{
}

bool SearchCommand::StartSearch()
{
    if (running_)
        return false;
    const std::optional<WalkRoots> roots = rootsToWalk();
    if (!roots)
        return false;

    running_ = true;
    lockWindow(true);
    controls_.setStatusText(StatusPanel::State, QStringLiteral("正在搜索..."));
    request_ = readRequest();
    found_.clear();
    walker_.walk(request_, *roots);
    finish();
    running_ = false;
    return true;
}

void SearchCommand::StopSearch()
{
    walker_.stop();
    controls_.setStatusText(StatusPanel::Progress, QString());
}

void SearchCommand::windowClosing()
{
    if (running_)
        walker_.stop();
    walker_.dropQueue();
}

void SearchCommand::diskChanged(const QByteArray& path)
{
    if (running_)
        walker_.diskChanged(path);
}

void SearchCommand::entryRenamed(const QByteArray& from, const QByteArray& to)
{
    if (running_)
        walker_.entryRenamed(from, to);
    else
        results_.movePrefix(from, to);
}

// The volumes and the locations added after them, or the one checked location.
std::optional<WalkRoots> SearchCommand::rootsToWalk()
{
    WalkRoots roots;
    const QString location = controls_.locationText();
    if (location == allVolumesLocation()) {
        roots.sameVolumeOnly = true;
        for (int i = 1; i < controls_.locationCount(); ++i)
            roots.paths.push_back(controls_.locationBytes(i));
        searchedLocation_ = location;
        searchedBytes_.clear();
        return roots;
    }
    const CheckedLocation checked = checkLocation(fileSystem_, location, controls_.knownLocationBytes(location));
    if (checked.outcome != LocationCheck::Usable) {
        refuse(checked.outcome);
        return std::nullopt;
    }
    roots.paths.push_back(checked.root);
    roots.firstMayBeLink = checked.isLink;
    searchedLocation_ = trimBlanks(location);
    searchedBytes_ = checked.root.isEmpty() ? QByteArray("/") : checked.root;
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

void SearchCommand::lockWindow(bool searching)
{
    const auto setOptions = [this](bool enabled) {
        controls_.setEnabled(Control::Check1, enabled);
        controls_.setEnabled(Control::Check2, enabled);
        controls_.setEnabled(Control::Check3, enabled);
        controls_.setEnabled(Control::Check4, enabled);
        controls_.setEnabled(Control::Combo2, enabled);
        controls_.setCategoryBackground(enabled ? SystemColour::WindowBackground : SystemColour::ButtonFace);
    };
    if (searching) {
        setOptions(false);
        controls_.setEnabled(Control::Command1, false);
        controls_.setEnabled(Control::Command2, true);
    } else {
        controls_.setEnabled(Control::Command1, true);
        controls_.setEnabled(Control::Command2, false);
        setOptions(true);
    }
}

SearchRequest SearchCommand::readRequest() const
{
    // Only a ticked box (state 1) switches its option on; a greyed one (2) leaves it off.
    const auto ticked = [this](SearchOption option) { return controls_.optionState(option) == 1; };
    return makeSearchRequest(controls_.nameText(), controls_.categoryIndex(), ticked(SearchOption::WholeWord),
                             ticked(SearchOption::CaseSensitive), ticked(SearchOption::IncludeHidden),
                             ticked(SearchOption::Pinyin));
}

void SearchCommand::showProgress(const WalkProgress& progress)
{
    if (progress.folder) {
        const QByteArray& folder = *progress.folder;
        const QString shown = folder.isEmpty() ? QStringLiteral("/") : platform::pathText(folder);
        controls_.setStatusText(StatusPanel::Progress, QStringLiteral("正在搜索: ") + shown);
    }
    if (progress.rowsAdded)
        controls_.setStatusText(StatusPanel::State, countText(results_.totalRows()));
    controls_.processEvents();
}

void SearchCommand::finish()
{
    controls_.setStatusText(StatusPanel::State, countText(results_.totalRows()));
    // A stop says no more than that the search ended.
    const SearchState& state = walker_.state();
    controls_.setStatusText(StatusPanel::Progress, state.StopRequested ? endText(false, 0)
                                                       : endText(state.locationUnreadable, state.unreadableFolders));
    rememberLocation();
    lockWindow(false);
}

// The text standing in the location field at the finish is what the list may gain.
void SearchCommand::rememberLocation()
{
    const QString location = trimBlanks(controls_.locationText());
    QStringList entries;
    for (int i = 0; i < controls_.locationCount(); ++i)
        entries << controls_.locationEntry(i);
    if (isKnownLocation(location, entries))
        return;
    // The bytes that were searched, unless the text was changed meanwhile.
    const QByteArray bytes = location == searchedLocation_ && !searchedBytes_.isEmpty()
        ? searchedBytes_ : platform::fileNameBytes(location);
    controls_.appendLocation(location, bytes);
}

} // namespace search
