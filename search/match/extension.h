#pragma once

#include "search/match/text_rules.h"

#include <QString>

namespace search {

// The text after the last ".", the whole text when it has none, the empty text when it ends
// with ".". The case stays as it was.
QString GetExtension(const QString& text);
CodePointView GetExtension(CodePointView text);

} // namespace search
