#pragma once

#include <QStringView>

#include <cstdint>
#include <span>
#include <vector>

struct UCollator;

namespace search {

// Sort keys of names as a Chinese reader orders them: the Chinese collation (Chinese by pinyin),
// digits by their value ("文件2" before "文件10"), letters before their case. Keys compare byte by
// byte, so a sort computes one per name instead of collating at every comparison. A key ends in
// a zero byte and holds no other, so keys strung together compare part by part.
// Not shared between threads: each takes its own.
class NameCollator {
public:
    NameCollator();
    ~NameCollator();
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;

    // Valid until the next call.
    std::span<const uint8_t> key(QStringView text);

private:
    UCollator* collator_ = nullptr;
    std::vector<uint8_t> buffer_;
};

} // namespace search
