// The array the sorted order keeps its rows in: whatever it grows to, shrinks to or loses in the
// middle, it holds what a vector would.
#include "search/results/paged_array.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(PagedArray, HoldsWhatAVectorWouldThroughGrowingErasingAndClearing)
{
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        search::PagedArray<uint32_t> paged;
        std::vector<uint32_t> model;
        // Past several mappings of 64 KiB each (16,384 values), so that it moves its pages.
        for (int step = 0; step < 400; ++step) {
            const uint32_t op = rng() % 10;
            if (op < 5) {
                for (uint32_t n = rng() % 2000; n > 0; --n) {
                    const uint32_t value = rng();
                    paged.push_back(value);
                    model.push_back(value);
                }
            } else if (op < 7) {
                const size_t size = rng() % (model.size() + 3000);
                paged.resize(size);
                model.resize(size); // values added are zero, as a vector's
            } else if (op < 9 && !model.empty()) {
                const size_t first = rng() % model.size();
                const size_t last = first + rng() % (model.size() - first + 1);
                paged.erase(paged.begin() + first, paged.begin() + last);
                model.erase(model.begin() + std::ptrdiff_t(first), model.begin() + std::ptrdiff_t(last));
            } else if (op == 9 && rng() % 8 == 0) {
                paged.clear();
                model.clear();
            }
            ASSERT_EQ(std::vector<uint32_t>(paged.begin(), paged.end()), model) << "seed " << seed << " step " << step;
        }
    }
}

} // namespace
