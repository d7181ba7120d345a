#pragma once

#include <QString>

namespace platform {

enum class Control { Check1, Check2, Check3, Combo2, Command1, Command2 };
enum class SystemColour { ButtonFace, WindowBackground };

// What a search reads and switches on the main window; the window itself stays out of the
// search logic, and tests put a fake in its place.
class SearchControls {
public:
    virtual ~SearchControls() = default;

    virtual QString nameText() const = 0;       // Text1
    virtual QString locationText() const = 0;   // Combo1's edit text
    virtual int locationCount() const = 0;      // Combo1's list
    virtual QString locationEntry(int index) const = 0;
    virtual void appendLocation(const QString& text) = 0;
    virtual int categoryIndex() const = 0;      // Combo2
    virtual int checkState(int box) const = 0;  // Check1 to Check3: 0, 1 or 2

    virtual void setEnabled(Control control, bool enabled) = 0;
    virtual void setCategoryBackground(SystemColour colour) = 0;
    virtual void setStatusText(int panel, const QString& text) = 0; // panels 1 and 2

    // Runs the pending window events to completion.
    virtual void processEvents() = 0;
};

} // namespace platform
