// The context's flags are never taken from their holders: a waiter waits until the flag
// is let go, and a status channel's turn gives up instead.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "context/flag_lock.h"
#include "tests/support/host_log.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {
namespace {

using namespace std::chrono_literals;

TEST(FlagLockTest, AHeldFlagIsWaitedForAndNeverTakenOver) {
    hostsim::Reset();
    ByteFlag flag{1};
    std::atomic<bool> holding{false};
    auto waiter = std::async(std::launch::async, [&] {
        const FlagLock lock(flag);
        holding = true;
    });
    // Longer than any holder keeps a flag: still the holder's.
    EXPECT_EQ(waiter.wait_for(1200ms), std::future_status::timeout) << "taken from its holder";
    EXPECT_FALSE(holding);
    flag = 0;
    ASSERT_EQ(waiter.wait_for(10s), std::future_status::ready) << "not taken once let go";
    EXPECT_TRUE(holding);
    EXPECT_EQ(flag.load(), 0) << "let go at the end of its scope";
    EXPECT_EQ(test::LogText(), "");
}

TEST(FlagLockTest, AChannelTurnGivesUpOnAHeldFlagAndLeavesItHeld) {
    ByteFlag flag{1};
    {
        const ChannelTurn turn(&flag, 20);
        EXPECT_FALSE(turn.taken());
    }
    EXPECT_EQ(flag.load(), 1) << "the holder's flag stays its own";
    flag = 0;
    {
        const ChannelTurn turn(&flag, 20);
        EXPECT_TRUE(turn.taken());
        EXPECT_EQ(flag.load(), 1);
    }
    EXPECT_EQ(flag.load(), 0);
    EXPECT_TRUE(ChannelTurn(nullptr, 20).taken()) << "a channel without turns";
}

}  // namespace
}  // namespace krogw
