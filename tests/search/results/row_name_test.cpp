// A row's name holds its bytes whatever their length, inside the row or in a block of its own,
// through copies, moves and assignments between the two kinds, as a QByteArray would.
#include "search/results/row_name.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

QByteArray bytesOfLength(int n, char first)
{
    QByteArray bytes(n, first);
    for (int i = 0; i < n; ++i)
        bytes[i] = char(first + i % 7);
    return bytes;
}

TEST(RowName, KeepsItsBytesThroughCopiesMovesAndAssignmentsOfEveryLength)
{
    // Both sides of the change from inside the row to a block of its own (23 and 24 bytes).
    const std::vector<int> lengths{0, 1, 15, 16, 22, 23, 24, 25, 40, 255, 4096};
    for (const int a : lengths) {
        for (const int b : lengths) {
            const QByteArray left = bytesOfLength(a, 'a'), right = bytesOfLength(b, 'A');
            search::RowName x(left), y(right);
            SCOPED_TRACE(testing::Message() << a << " and " << b);
            search::RowName copied(x);
            EXPECT_EQ(copied.bytes(), left);
            copied = y;
            EXPECT_EQ(copied.bytes(), right);
            EXPECT_EQ(y.bytes(), right);
            search::RowName moved(std::move(copied));
            EXPECT_EQ(moved.bytes(), right);
            moved = std::move(x);
            EXPECT_EQ(moved.bytes(), left);
            moved = moved; // itself
            EXPECT_EQ(moved.bytes(), left);
            EXPECT_EQ(moved.size(), a);
            EXPECT_EQ(moved == y, left == right);
            EXPECT_EQ(moved == QByteArrayView(left), true);
            EXPECT_EQ(moved.lookupKey(), left);
            std::swap(moved, y);
            EXPECT_EQ(moved.bytes(), right);
            EXPECT_EQ(y.bytes(), left);
        }
    }
}

} // namespace
