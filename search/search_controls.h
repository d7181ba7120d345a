#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace search {

enum class Control { Check1, Check2, Check3, Check4, Combo2, Command1, Command2 };
enum class SystemColour { ButtonFace, WindowBackground };
enum class SearchOption { WholeWord, CaseSensitive, IncludeHidden, Pinyin }; // Check1 to Check4
enum class StatusPanel { State, Progress };                           // panels 1 and 2

// What a search reads and switches on the main window; the window stays out of the search
// logic, and tests put a fake in its place.
class SearchControls {
public:
    virtual ~SearchControls() = default;

    virtual QString nameText() const = 0;     // Text1
    virtual QString locationText() const = 0; // Combo1's edit text
    virtual int locationCount() const = 0;    // Combo1's list
    virtual QString locationEntry(int index) const = 0;
    // The file system's own bytes of a listed location, which its text may not spell exactly.
    virtual QByteArray locationBytes(int index) const = 0;
    // The bytes the window knows for a location text: a listed entry's, or those of the folder it
    // was asked to show; nothing for a text the user typed.
    virtual std::optional<QByteArray> knownLocationBytes(const QString& text) const = 0;
    virtual void appendLocation(const QString& text, const QByteArray& bytes) = 0;
    virtual int categoryIndex() const = 0; // Combo2
    // 0 unticked, 1 ticked, 2 greyed; only a ticked box switches its option on.
    virtual int optionState(SearchOption option) const = 0;

    virtual void setEnabled(Control control, bool enabled) = 0;
    virtual void setCategoryBackground(SystemColour colour) = 0;
    virtual void setStatusText(StatusPanel panel, const QString& text) = 0;

    // Runs the pending window events to completion.
    virtual void processEvents() = 0;
};

} // namespace search
