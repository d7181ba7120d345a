#pragma once

class QLineEdit;

namespace platform {

// Selects the whole text of a field whenever it gets the focus, so typing replaces it; after the
// mouse press that gave the focus has placed the caret. Not when its window merely becomes
// active again (a message box closing), so typing goes on where it was.
void selectAllOnFocus(QLineEdit* field);

} // namespace platform
