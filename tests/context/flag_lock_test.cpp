// The context's flags never hold a waiter for ever: a lock left held is taken over
// after its bound, with a line naming it, and a channel turn gives up.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "context/flag_lock.h"
#include "tests/support/host_log.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {
namespace {

using namespace std::chrono_literals;

TEST(FlagLockTest, ALeftOverFlagIsTakenOverAfterItsBoundAndLetGo) {
    hostsim::Reset();
    ByteFlag flag{1};
    auto waiter =
        std::async(std::launch::async, [&] { const FlagLock lock(flag, "Poll queue", 50); });
    ASSERT_EQ(waiter.wait_for(10s), std::future_status::ready) << "waits for ever";
    EXPECT_EQ(flag.load(), 0) << "let go at the end of its scope";
    EXPECT_EQ(test::Logged(kLogError),
              std::vector<std::string>{"KroGW : Poll queue lock held over 50 ms, taken over"});
    hostsim::ClearLog();

    {
        const FlagLock lock(flag, "Poll queue", 50);
        EXPECT_EQ(flag.load(), 1);
    }
    EXPECT_TRUE(test::Logged(kLogError).empty()) << "a free flag is taken without a line";
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
