#include <gtest/gtest.h>

#include "driver/state.h"
#include "tests/expected_text.h"
#include "tests/fake_platform.h"
#include "timing/cycle_timing.h"

namespace {

class TimingTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_reset(); }

    // Runs finish_cycle_timing for each duration as cycles 1, 2, ...
    void record_cycles(const std::vector<uint64_t>& durations_ms) {
        state.counter_frequency = 1000;
        for (size_t cycle = 0; cycle < durations_ms.size(); ++cycle) {
            state.cycle_number = cycle + 1;
            reset_cycle_timing();
            state.cycle_start = 5000;
            fake.counter_values = {5000 + durations_ms[cycle]};
            ASSERT_EQ(finish_cycle_timing(), 1);
        }
    }
};

struct RoundingCase {
    uint64_t milliseconds;
    uint64_t seconds;
};

class RoundingTest : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(RoundingTest, RoundsUpOnlyAboveSevenHundred) {
    EXPECT_EQ(rounded_seconds(GetParam().milliseconds), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(Milliseconds, RoundingTest,
                         ::testing::Values(RoundingCase{0, 0}, RoundingCase{500, 0}, RoundingCase{700, 0},
                                           RoundingCase{701, 1}, RoundingCase{999, 1}, RoundingCase{1000, 1},
                                           RoundingCase{1700, 1}, RoundingCase{1701, 2}, RoundingCase{12650, 12},
                                           RoundingCase{12750, 13},
                                           RoundingCase{18446744073709551615u, 18446744073709551u}));

TEST_F(TimingTest, DurationIsTicksScaledToMilliseconds) {
    state.counter_frequency = 10000000;
    state.cycle_number = 2;
    state.cycle_start = 123456789;
    fake.counter_values = {123456789 + 126543210};
    ASSERT_EQ(finish_cycle_timing(), 1);
    EXPECT_EQ(state.elapsed_ticks, 126543210u);
    EXPECT_EQ(state.elapsed_ms, 12654u);
    EXPECT_EQ(state.durations_ms[1], 12654u);
    EXPECT_EQ(state.total_ms, 12654u);
}

TEST_F(TimingTest, HugeTickCountsDoNotOverflow) {
    state.counter_frequency = 1000000000;
    state.cycle_number = 1;
    state.cycle_start = 0;
    fake.counter_values = {18446744073709551615u};
    ASSERT_EQ(finish_cycle_timing(), 1);
    EXPECT_EQ(state.elapsed_ms, 18446744073709u);
}

TEST_F(TimingTest, CounterWrapBetweenReadsIsStillTheDifference) {
    state.counter_frequency = 1000;
    state.cycle_number = 1;
    state.cycle_start = 18446744073709551000u;
    fake.counter_values = {400};
    ASSERT_EQ(finish_cycle_timing(), 1);
    EXPECT_EQ(state.elapsed_ms, 1016u);
}

TEST_F(TimingTest, FailedEndReadStoresNothing) {
    state.cycle_number = 1;
    fake_fail(FAKE_QUERY_COUNTER, 1, 1, 1);
    EXPECT_EQ(finish_cycle_timing(), 0);
    EXPECT_EQ(state.durations_ms[0], 0u);
    EXPECT_EQ(state.total_ms, 0u);
}

TEST_F(TimingTest, ResetClearsTheCycleFieldsOnly) {
    record_cycles({1500});
    reset_cycle_timing();
    EXPECT_EQ(state.cycle_start, 0u);
    EXPECT_EQ(state.cycle_end, 0u);
    EXPECT_EQ(state.elapsed_ticks, 0u);
    EXPECT_EQ(state.elapsed_ms, 0u);
    EXPECT_EQ(state.durations_ms[0], 1500u);
    EXPECT_EQ(state.total_ms, 1500u);
}

struct AverageCase {
    const char* label;
    std::vector<uint64_t> durations_ms;
    uint64_t average_ms;
    uint64_t average_seconds;
};

class AverageTest : public TimingTest, public ::testing::WithParamInterface<AverageCase> {};

TEST_P(AverageTest, AveragesMillisecondsNotRoundedSeconds) {
    record_cycles(GetParam().durations_ms);
    compute_average();
    EXPECT_EQ(state.average_ms, GetParam().average_ms);
    EXPECT_EQ(state.average_seconds, GetParam().average_seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, AverageTest,
    ::testing::Values(
        AverageCase{"fraction_of_a_millisecond_dropped", {10000, 10000, 10000, 10000, 10000, 10000, 10005}, 10000, 10},
        AverageCase{"all_below_threshold", {12650, 12650, 12650, 12650, 12650, 12650, 12650}, 12650, 12},
        AverageCase{"all_above_threshold", {12750, 12750, 12750, 12750, 12750, 12750, 12750}, 12750, 13},
        // Rounded seconds 1,1,1,1,1,1,3 would average to 1.
        AverageCase{"differs_from_average_of_seconds", {1650, 1650, 1650, 1650, 1650, 1650, 2750}, 1807, 2}),
    [](const ::testing::TestParamInfo<AverageCase>& info) { return std::string(info.param.label); });

TEST_F(TimingTest, DurationLinesRunFromTheLatestCycleDown) {
    record_cycles({1000, 2701, 3200});
    state.cycle_number = 3;
    print_cycle_durations();
    EXPECT_EQ(fake.output,
              expected::duration_line(3, 3) + expected::duration_line(2, 3) + expected::duration_line(1, 1));

    fake.output.clear();
    state.cycle_number = 1;
    print_cycle_durations();
    EXPECT_EQ(fake.output, expected::duration_line(1, 1));
}

TEST_F(TimingTest, AverageBannerShowsTheRoundedAverage) {
    state.average_seconds = 42;
    print_average_banner();
    EXPECT_EQ(fake.output, expected::average_banner(42));
}

}  // namespace
