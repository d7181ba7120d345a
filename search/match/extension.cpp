#include "search/match/extension.h"

namespace search {

QString GetExtension(const QString& text)
{
    return text.mid(text.lastIndexOf(u'.') + 1);
}

} // namespace search
