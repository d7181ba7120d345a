// Fuzzes the wildcard matcher against a plain recursive reading of the same rules: the compiled
// matcher must agree on every pattern and text, malformed patterns included, and never hang.
#include "search/match/wildcard_match.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

using search::CodePoints;

// The rules read directly: returns nothing for a malformed pattern.
struct Reference {
    const CodePoints& p;
    bool malformed = false;

    // Parses a list at p[i] == '['; returns the index after "]", or npos when never closed.
    size_t list(size_t i, char32_t c, bool& hit, bool& empty)
    {
        size_t j = i + 1;
        bool negated = false;
        if (j < p.size() && p[j] == U'!') {
            negated = true;
            ++j;
        }
        bool in = false;
        size_t items = 0;
        while (j < p.size() && p[j] != U']') {
            if (j + 2 < p.size() && p[j + 1] == U'-' && p[j + 2] != U']') {
                if (p[j + 2] < p[j])
                    malformed = true;
                in = in || (c >= p[j] && c <= p[j + 2]);
                j += 3;
            } else {
                in = in || c == p[j];
                ++j;
            }
            ++items;
        }
        if (j >= p.size()) {
            malformed = true;
            return std::string::npos;
        }
        empty = items == 0 && !negated;
        hit = in != negated;
        return j + 1;
    }

    bool match(size_t pi, const CodePoints& t, size_t ti, int depth)
    {
        if (depth > 64 || malformed)
            return false;
        if (pi == p.size())
            return ti == t.size();
        const char32_t c = p[pi];
        if (c == U'*') {
            for (size_t k = ti; k <= t.size(); ++k)
                if (match(pi + 1, t, k, depth + 1))
                    return true;
            return false;
        }
        if (c == U'[') {
            bool hit = false, empty = false;
            const size_t next = list(pi, ti < t.size() ? t[ti] : 0, hit, empty);
            if (next == std::string::npos)
                return false;
            if (empty)
                return match(next, t, ti, depth + 1);
            return ti < t.size() && hit && match(next, t, ti + 1, depth + 1);
        }
        if (ti == t.size())
            return false;
        const bool one = c == U'?' || (c == U'#' ? (t[ti] >= U'0' && t[ti] <= U'9') : c == t[ti]);
        return one && match(pi + 1, t, ti + 1, depth + 1);
    }
};

// Whether the pattern is malformed, found by scanning every list once.
bool isMalformed(const CodePoints& p)
{
    Reference r{p};
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] != U'[')
            continue;
        bool hit, empty;
        const size_t next = r.list(i, 0, hit, empty);
        if (r.malformed)
            return true;
        i = next - 1;
    }
    return false;
}

CodePoints fromBytes(const uint8_t* data, size_t size)
{
    // A small alphabet makes the interesting characters common.
    static const char32_t alphabet[] = {U'a', U'b', U'A', U'0', U'9', U'*', U'?', U'#', U'[',
                                        U']', U'!', U'-', U'.', U'ß', U'中', U'😀'};
    CodePoints out;
    for (size_t i = 0; i < size; ++i)
        out += alphabet[data[i] % std::size(alphabet)];
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t split = 0;
    while (split < size && data[split] != 0xff)
        ++split;
    const CodePoints pattern = fromBytes(data, split);
    const CodePoints text = split < size ? fromBytes(data + split + 1, size - split - 1) : CodePoints();
    const std::optional<bool> got = search::WildcardMatch(text, pattern);
    if (isMalformed(pattern)) {
        if (got)
            std::abort();
        return 0;
    }
    if (!got)
        std::abort();
    // The recursive reading is exponential; keep it to sizes where it answers at once.
    if (pattern.size() <= 12 && text.size() <= 16) {
        Reference reference{pattern};
        if (reference.match(0, text, 0, 0) != *got)
            std::abort();
    }
    return 0;
}
