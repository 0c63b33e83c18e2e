#include "src/FrameBenchmark.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirvo {
namespace {

TEST(FrameBenchmark, PercentilesInterpolateBetweenRanks)
{
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({5.0, 1.0, 3.0}, 50.0), 3.0);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({1.0, 2.0, 3.0, 4.0}, 50.0), 2.5);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({1.0, 2.0, 3.0, 4.0, 5.0}, 95.0), 4.8);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({7.0}, 95.0), 7.0);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({}, 50.0), 0.0);
}

TEST(FrameBenchmark, WarmUpFramesAreNotMeasuredAndCasesFollowInOrder)
{
    FrameBenchmark benchmark({{"a"}, {"b"}}, 2, 3);
    std::vector<std::string> seen;
    int starts = 0;
    double cost = 100.0;
    while (!benchmark.isDone()) {
        starts += benchmark.isCaseStarting() ? 1 : 0;
        seen.push_back(benchmark.currentCase().name);
        benchmark.recordFrame(cost);
        cost = 1.0;
    }
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "a", "a", "a", "a", "b", "b", "b", "b", "b"}));
    // The 100 ms first frame was a warm-up frame: the medians are 1 ms.
    EXPECT_NE(benchmark.report().find("1.00"), std::string::npos);
    EXPECT_EQ(benchmark.report().find("100.00"), std::string::npos);
}

} // namespace
} // namespace mirvo
