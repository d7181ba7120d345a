#include "search/match/extension.h"

namespace search {

QString GetExtension(const QString& text)
{
    return text.mid(text.lastIndexOf(u'.') + 1);
}

CodePointView GetExtension(CodePointView text)
{
    const size_t dot = text.rfind(U'.');
    return dot == CodePointView::npos ? text : text.substr(dot + 1);
}

} // namespace search
