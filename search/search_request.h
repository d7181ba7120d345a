#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace search {

// What the user asked for when the start button was pressed, as the window holds it.
struct SearchRequest {
    QString name;     // the name box, as typed
    int category = 0; // the position chosen in the file type list
    // The option boxes; only a ticked one counts, a greyed one does not.
    bool wholeWord = false;
    bool caseSensitive = false;
    bool includeHidden = false;
    bool pinyin = false;
    QString location; // the location field, as typed
    // The bytes the window knows for that text (a listed entry's, or those of a folder it was
    // asked to show), which the text may not spell; nothing for a text the user typed.
    std::optional<QByteArray> locationBytes;
    // The bytes of the listed locations after "全盘搜索", in list order: what that searches.
    std::vector<QByteArray> volumes;
};

} // namespace search
