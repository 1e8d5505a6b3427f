#include "tools/warp_falloff.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

TEST(WarpFalloff, FallsFromOneTowardZeroAtTheRim)
{
    const auto& table = warp_falloff();
    EXPECT_EQ(table[0], 1.0f);
    for (std::size_t i = 1; i < table.size(); ++i)
        EXPECT_LT(table[i], table[i - 1]) << i;
    // i = 25: sqrt(0.25) = 0.5, cos(pi / 2) = 0, so (1 / 2) ^ 0.7.
    EXPECT_FLOAT_EQ(table[25], float(std::pow(0.5, 0.7)));
    EXPECT_GT(table[99], 0.0f);
    EXPECT_LT(table[99], 0.01f);
}

} // namespace
} // namespace velmora
