#include "search/search_command.h"

#include "platform/file_attributes.h"
#include "platform/file_name_text.h"
#include "platform/file_system.h"
#include "platform/message_boxes.h"
#include "platform/search_controls.h"
#include "search/extension.h"
#include "search/result_list.h"
#include "search/result_texts.h"

namespace search {

using platform::Control;

SearchCommand::SearchCommand(platform::SearchControls& controls, platform::FileSystem& fileSystem,
                             platform::IconSource& icons, platform::MessageBoxes& messages,
                             ResultList& results, YieldPolicy policy)
    : controls_(controls), fileSystem_(fileSystem), icons_(icons), messages_(messages),
      results_(results), policy_(policy)
{
}

void SearchCommand::StartSearch()
{
    if (running_)
        return;
    const bool allVolumes = controls_.locationText() == QStringLiteral("全盘搜索");
    QByteArray root;
    if (!allVolumes) {
        const std::optional<QByteArray> validated = validatedRoot();
        if (!validated)
            return;
        root = *validated;
    }

    running_ = true;
    lockWindow(true);

    state_.ExtMatched = false;
    state_.FolderQueue.clear();
    state_.MatchCount = 0;
    state_.FolderCount = 0;
    controls_.setStatusText(1, QStringLiteral("正在搜索..."));
    state_.StopRequested = false;
    readRequest();
    results_.clear();

    stats_ = {};
    const auto started = std::chrono::steady_clock::now();
    lastYield_ = started;
    entriesSinceClockCheck_ = 0;
    progressWaiting_ = countWaiting_ = false;

    size_t cursor = 0;
    if (allVolumes) {
        // Entries are read one at a time as their turn comes; locations that earlier searches
        // added follow the volumes and are searched too.
        const int count = controls_.locationCount();
        for (int i = 1; i < count; ++i) {
            SearchFolder({platform::fileNameBytes(controls_.locationEntry(i)), 0, true});
            if (!runQueue(cursor))
                break;
        }
    } else {
        SearchFolder({root, 0, false});
        if (state_.FolderCount >= 1)
            runQueue(cursor);
    }

    stats_.duration = std::chrono::steady_clock::now() - started;
    finish();
    running_ = false;
}

void SearchCommand::StopSearch()
{
    state_.StopRequested = true;
    controls_.setStatusText(2, QString());
}

void SearchCommand::CloseWindow()
{
    if (running_)
        state_.StopRequested = true;
    state_.FolderQueue.clear();
    state_.FolderQueue.shrink_to_fit();
}

std::optional<QByteArray> SearchCommand::validatedRoot()
{
    const QString location = trimBlanks(controls_.locationText());
    const QByteArray path = platform::fileNameBytes(location);
    // The empty path stands for the current folder, so a blank location passes this first test.
    if (fileSystem_.firstMatch(path).isEmpty()) {
        messages_.show(QStringLiteral("指定搜索位置不存在"), platform::MessageStyle::ExclamationOk, QStringLiteral("错误"));
        return std::nullopt;
    }
    if (location.isEmpty()) {
        messages_.show(QStringLiteral("请选择搜索位置"), platform::MessageStyle::ExclamationOk, QStringLiteral("提示"));
        return std::nullopt;
    }
    // A wildcard pattern exists as a listing but is no folder to search from.
    const std::optional<uint32_t> attributes = fileSystem_.attributes(path);
    if (!attributes || !(*attributes & platform::Directory)) {
        messages_.show(QStringLiteral("指定搜索位置无效"), platform::MessageStyle::ExclamationOk, QStringLiteral("错误"));
        return std::nullopt;
    }
    QByteArray root = platform::fileNameBytes(trimBlanks(controls_.locationText()));
    if (root.endsWith('/'))
        root.chop(1); // one separator only; "/" becomes the empty path, the root's own prefix
    return root;
}

void SearchCommand::lockWindow(bool searching)
{
    if (searching) {
        controls_.setEnabled(Control::Check1, false);
        controls_.setEnabled(Control::Check2, false);
        controls_.setEnabled(Control::Check3, false);
        controls_.setEnabled(Control::Combo2, false);
        controls_.setCategoryBackground(platform::SystemColour::ButtonFace);
        controls_.setEnabled(Control::Command1, false);
        controls_.setEnabled(Control::Command2, true);
    } else {
        controls_.setEnabled(Control::Command1, true);
        controls_.setEnabled(Control::Command2, false);
        controls_.setEnabled(Control::Check1, true);
        controls_.setEnabled(Control::Check2, true);
        controls_.setEnabled(Control::Check3, true);
        controls_.setEnabled(Control::Combo2, true);
        controls_.setCategoryBackground(platform::SystemColour::WindowBackground);
    }
}

void SearchCommand::readRequest()
{
    state_.NamePattern = trimBlanks(controls_.nameText());
    if (state_.NamePattern == QStringLiteral("*"))
        state_.NamePattern.clear();

    // An extension filter comes only from a text whose second character is a dot ("*.txt",
    // "a.doc") or that is a lone dot.
    state_.ExtPattern.clear();
    const CodePoints pattern = toCodePoints(state_.NamePattern);
    const CodePointView firstTwo = CodePointView(pattern).substr(0, 2);
    if (WildcardMatch(firstTwo, U"*.").value_or(false))
        state_.ExtPattern = GetExtension(state_.NamePattern);

    // The controls are locked for the whole search, so reading them once is reading them at
    // every entry.
    Request& q = request_;
    q = {};
    q.category = controls_.categoryIndex();
    // Only a ticked box (state 1) switches its option on; a greyed one (2) leaves it off.
    q.wholeWord = controls_.checkState(1) == 1;
    q.caseSensitive = controls_.checkState(2) == 1;
    q.includeHidden = controls_.checkState(3) == 1;

    state_.CmpPattern = q.caseSensitive ? pattern : upperCased(pattern);
    const CodePoints extPattern = toCodePoints(state_.ExtPattern);
    state_.CmpExtPattern = q.caseSensitive ? extPattern : upperCased(extPattern);
    if (q.wholeWord)
        q.wholeWordPattern = WildcardPattern::compile(state_.CmpPattern);
    if (!state_.ExtPattern.isEmpty()) {
        q.extPattern = WildcardPattern::compile(state_.CmpExtPattern);
        q.extMalformed = !q.extPattern;
    }
}

bool SearchCommand::runQueue(size_t& cursor)
{
    while (int64_t(cursor) < state_.FolderCount) {
        if (state_.StopRequested)
            return false;
        if (cursor >= state_.FolderQueue.size())
            return false; // emptied by a close
        SearchFolder(state_.FolderQueue[cursor++]);
    }
    return true;
}

void SearchCommand::finish()
{
    results_.flush();
    progressWaiting_ = countWaiting_ = false;
    controls_.setStatusText(1, countText(results_.totalRows()));
    controls_.setStatusText(2, QStringLiteral("已完成搜索"));

    // The location history compares plain text, ignoring case; a blank location counts as known.
    const QString location = trimBlanks(controls_.locationText());
    if (!location.isEmpty()) {
        const QString wanted = upperCased(location);
        bool known = false;
        const int count = controls_.locationCount();
        for (int i = 0; i < count && !known; ++i)
            known = upperCased(controls_.locationEntry(i)) == wanted;
        if (!known)
            controls_.appendLocation(location);
    }

    lockWindow(false);
}

} // namespace search
