#include "actions/result_actions.h"

#include "actions/result_window.h"
#include "search/result_list.h"

namespace actions {

ResultActions::ResultActions(ResultWindow& window, platform::MessageBoxes& messages,
                             platform::FileSystem& fileSystem, QObject* parent)
    : QObject(parent), window_(window), messages_(messages), fileSystem_(fileSystem)
{
}

void ResultActions::List1_MouseUp(Qt::MouseButton button)
{
    if (button == Qt::RightButton && window_.resultList().rowCount() > 0)
        window_.showResultMenu();
}

// The actions behind the menu come next.
void ResultActions::List1_DblClick() {}
void ResultActions::mnuOpen_Click() {}
void ResultActions::mnuOpenDir_Click() {}
void ResultActions::mnuCopy_Click() {}
void ResultActions::mnuDelete_Click() {}
void ResultActions::mnuRename_Click() {}
void ResultActions::mnuAttrib_Click() {}

} // namespace actions
