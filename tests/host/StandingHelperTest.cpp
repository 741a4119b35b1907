// The thread that helps the streaming reader with every long list of a scan: each task runs
// on it, in turn, whether the two sides meet while spinning or after one has gone to sleep;
// a task's failure reaches the caller through Get, and leaving without Get still waits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "host/scene/StandingHelper.h"

namespace tarvo {
namespace {

using scenefile::StandingHelper;
using namespace std::chrono_literals;

// Spins long enough that the sides always meet spinning, or so briefly that they sleep.
constexpr std::chrono::microseconds kMeetSpinning = StandingHelper::kDefaultSpin;
constexpr std::chrono::microseconds kSleepAtOnce{0};

class StandingHelperTest : public ::testing::TestWithParam<std::chrono::microseconds> {};

TEST_P(StandingHelperTest, RunsEveryTaskInTurnOnOneThreadOfItsOwn) {
    StandingHelper helper(GetParam());
    std::thread::id helperThread;
    int sum = 0;  // written by the tasks only, read here after each Get
    for (int task = 1; task <= 40; ++task) {
        StandingHelper::Task running(helper, [&, task] {
            if (task == 1) helperThread = std::this_thread::get_id();
            EXPECT_EQ(std::this_thread::get_id(), helperThread);
            sum += task;
        });
        running.Get();
        ASSERT_EQ(sum, task * (task + 1) / 2);
    }
    EXPECT_NE(helperThread, std::this_thread::get_id());
}

TEST_P(StandingHelperTest, GetThrowsWhatTheTaskThrewAndTheNextTaskStillRuns) {
    StandingHelper helper(GetParam());
    StandingHelper::Task failing(helper, [] { throw std::runtime_error("part 3 gave up"); });
    try {
        failing.Get();
        ADD_FAILURE() << "Get did not throw";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "part 3 gave up");
    }
    bool ran = false;
    StandingHelper::Task next(helper, [&] { ran = true; });
    next.Get();
    EXPECT_TRUE(ran);
}

TEST_P(StandingHelperTest, LeavingWithoutGetWaitsForTheTaskAndKeepsItsFailure) {
    StandingHelper helper(GetParam());
    std::atomic<bool> done{false};
    {
        StandingHelper::Task slow(helper, [&] {
            std::this_thread::sleep_for(20ms);
            done = true;
        });
    }
    EXPECT_TRUE(done);
    // The caller leaving on a failure of its own does not get the task's on top of it.
    EXPECT_NO_THROW(
        { StandingHelper::Task failing(helper, [] { throw std::runtime_error("x"); }); });
    bool ran = false;
    StandingHelper::Task next(helper, [&] { ran = true; });
    next.Get();
    EXPECT_TRUE(ran);
}

TEST_P(StandingHelperTest, TakesATaskAndEndsAfterEitherSideSlept) {
    StandingHelper helper(GetParam());
    helper.Start();
    std::this_thread::sleep_for(20ms);  // the helper's thread past any spinning
    bool ran = false;
    StandingHelper::Task late(helper, [&] {
        std::this_thread::sleep_for(20ms);  // this side past any spinning in Get
        ran = true;
    });
    late.Get();
    EXPECT_TRUE(ran);
}

INSTANTIATE_TEST_SUITE_P(SpinningOrSleeping, StandingHelperTest,
                         ::testing::Values(kMeetSpinning, kSleepAtOnce), [](const auto& spin) {
                             return spin.param == kSleepAtOnce ? "SleepAtOnce" : "MeetSpinning";
                         });

TEST(StandingHelper, StartedAgainKeepsItsThreadWhichStopsWhileAsleep) {
    StandingHelper helper(kSleepAtOnce);
    helper.Start();
    std::thread::id first, second;
    StandingHelper::Task one(helper, [&] { first = std::this_thread::get_id(); });
    one.Get();
    helper.Start();
    std::this_thread::sleep_for(5ms);  // asleep again, waiting for a task
    StandingHelper::Task two(helper, [&] { second = std::this_thread::get_id(); });
    two.Get();
    EXPECT_EQ(first, second);
    std::this_thread::sleep_for(5ms);  // the destructor then stops it asleep
}

}  // namespace
}  // namespace tarvo
