#include "search/results/name_collator.h"

#include <unicode/ucol.h>

namespace search {

NameCollator::NameCollator() : buffer_(256)
{
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open("zh", &status);
    if (U_FAILURE(status)) {
        // The root collation still orders by letters and digits, if not Chinese by pinyin.
        status = U_ZERO_ERROR;
        collator_ = ucol_open("", &status);
    }
    if (collator_)
        ucol_setAttribute(collator_, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
}

NameCollator::~NameCollator()
{
    if (collator_)
        ucol_close(collator_);
}

std::span<const uint8_t> NameCollator::key(QStringView text)
{
    static const uint8_t kEmpty = 0;
    if (!collator_)
        return {&kEmpty, 1};
    const auto* chars = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = int32_t(text.size());
    int32_t size = ucol_getSortKey(collator_, chars, length, buffer_.data(), int32_t(buffer_.size()));
    if (size > int32_t(buffer_.size())) {
        buffer_.resize(size_t(size));
        size = ucol_getSortKey(collator_, chars, length, buffer_.data(), int32_t(buffer_.size()));
    }
    if (size <= 0)
        return {&kEmpty, 1};
    return {buffer_.data(), size_t(size)};
}

} // namespace search
