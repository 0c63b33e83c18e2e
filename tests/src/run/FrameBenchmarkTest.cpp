#include "src/run/FrameBenchmark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace mirvo {
namespace {

using Phase = FrameBenchmark::Phase;

TEST(FrameBenchmark, PercentilesInterpolateBetweenRanks)
{
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({5.0, 1.0, 3.0}, 50.0), 3.0);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({1.0, 2.0, 3.0, 4.0}, 50.0), 2.5);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({1.0, 2.0, 3.0, 4.0, 5.0}, 95.0), 4.8);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({7.0}, 95.0), 7.0);
    EXPECT_DOUBLE_EQ(FrameBenchmark::percentile({}, 50.0), 0.0);
}

TEST(FrameBenchmark, SettlesOnceTwoWindowsAgree)
{
    EXPECT_FALSE(FrameBenchmark::hasSettled({10.0, 10.0, 10.0}, 2, 0.1));
    EXPECT_TRUE(FrameBenchmark::hasSettled({30.0, 10.0, 10.5, 10.0, 9.8}, 2, 0.1));
    // Still getting faster: the first frames of a case cost twice the later ones.
    EXPECT_FALSE(FrameBenchmark::hasSettled({20.0, 20.0, 10.0, 10.0}, 2, 0.1));
    EXPECT_FALSE(FrameBenchmark::hasSettled({}, 0, 0.1));
}

FrameBenchmark::FrameTimes frame(double interval, double phaseMs, double processMs)
{
    FrameBenchmark::FrameTimes times;
    times.intervalMs = interval;
    times.cpuMs.fill(phaseMs);
    times.processCpuMs = processMs;
    return times;
}

TEST(FrameBenchmark, WarmsUntilSettledThenProbesThenMeasuresEachCaseInOrder)
{
    FrameBenchmark::Schedule schedule;
    schedule.minWarmup = 10;
    schedule.maxWarmup = 14;
    schedule.probeFrames = 2;
    schedule.measuredFrames = 3;
    FrameBenchmark benchmark({{"a"}, {"b"}}, schedule);
    std::vector<std::string> seen;
    std::vector<FrameBenchmark::Stage> stages;
    int starts = 0;
    // Case a settles after ten steady frames; case b keeps changing and warms for the most.
    std::vector<double> aWarmup(10, 10.0);
    std::vector<double> bWarmup;
    for (int i = 0; i < 14; ++i) {
        bWarmup.push_back(i % 2 == 0 ? 10.0 : 40.0);
    }
    std::vector<FrameBenchmark::FrameTimes> frames;
    for (const std::vector<double>* warmup : {&aWarmup, &bWarmup}) {
        for (double interval : *warmup) {
            frames.push_back(frame(interval, 1000.0, 1000.0));
        }
        frames.push_back(frame(1000.0, 3.0, 1000.0));
        frames.push_back(frame(1000.0, 3.0, 1000.0));
        for (int i = 0; i < 3; ++i) {
            frames.push_back(frame(12.5, 1000.0, 6.25));
        }
    }
    for (const FrameBenchmark::FrameTimes& times : frames) {
        ASSERT_FALSE(benchmark.isDone());
        starts += benchmark.isCaseStarting() ? 1 : 0;
        seen.push_back(benchmark.currentCase().name);
        stages.push_back(benchmark.stage());
        benchmark.recordFrame(times);
    }
    EXPECT_TRUE(benchmark.isDone());
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "a"), 10 + 2 + 3);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "b"), 14 + 2 + 3);
    EXPECT_EQ(stages[9], FrameBenchmark::Stage::WARMING);
    EXPECT_EQ(stages[10], FrameBenchmark::Stage::PROBING);
    EXPECT_EQ(stages[12], FrameBenchmark::Stage::MEASURING);

    // The interval comes from the measured frames (80 fps, half a core) and the phases from
    // the probe frames; warm-up figures show nowhere.
    const std::string report = benchmark.report();
    EXPECT_NE(report.find("80.0     12.50    12.50   0.50    3.00    3.00    3.00    3.00    3.00    3.00"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("1000.00"), std::string::npos) << report;
    EXPECT_NE(report.find("      3      10\n"), std::string::npos) << report;
    EXPECT_NE(report.find("      3      14\n"), std::string::npos) << report;
    // No timer queries: no GL timer line.
    EXPECT_EQ(report.find("GL timer"), std::string::npos);
}

TEST(FrameBenchmark, GlTimesShowOnTheirOwnLineWithUnmeasuredPhasesMarked)
{
    FrameBenchmark::Schedule schedule{1, 1, 1, 1};
    FrameBenchmark benchmark({{"a"}}, schedule);
    FrameBenchmark::FrameTimes probe = frame(20.0, 2.0, 20.0);
    probe.glMs[static_cast<std::size_t>(Phase::RESOLVE)] = 4.0;
    FrameBenchmark::FrameTimes measured = frame(20.0, 2.0, 20.0);
    measured.glMs[static_cast<std::size_t>(Phase::DRAW)] = 7.0;
    measured.glMs[static_cast<std::size_t>(Phase::SWAP)] = 9.0;
    benchmark.recordFrame(frame(20.0, 2.0, 20.0));
    benchmark.recordFrame(probe);
    benchmark.recordFrame(measured);
    ASSERT_TRUE(benchmark.isDone());
    const std::string report = benchmark.report();
    const std::size_t glLine = report.find("GL timer");
    ASSERT_NE(glLine, std::string::npos) << report;
    EXPECT_NE(report.find("       -    7.00       -       -    4.00    9.00", glLine), std::string::npos)
        << report;
}

} // namespace
} // namespace mirvo
