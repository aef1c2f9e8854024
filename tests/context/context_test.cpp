// The instance's context: its size limit and what a reset gives and leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "context/command_queue.h"
#include "context/context.h"
#include "context/flag_lock.h"
#include "context/in_flight.h"
#include "context/poll_queue.h"
#include "context/turn_queue.h"
#include "tests/support/host_log.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {
namespace {

std::unique_ptr<DriverContext> DirtyContext() {
    auto context = std::make_unique<DriverContext>();
    // Everything non-zero, as a reused host allocation would be.
    std::memset(static_cast<void*>(context.get()), 0x6B, sizeof *context);
    return context;
}

TEST(ContextTest, FitsTheSizeTheHostAllocates) {
    EXPECT_LE(sizeof(DriverContext), 2317056u);
}

// What the instance relies on after a reset of host memory that held anything: a
// started context, every RTU not confirmed, empty queues, the default in-flight limits
// and every flag free.
TEST(ContextTest, AResetDirtyContextStartsEmptyUnlockedAndUnconfirmed) {
    hostsim::Reset();
    auto context = DirtyContext();
    ResetContext(3, *context);
    DriverContext& c = *context;

    EXPECT_TRUE(ContextStarted(&c));
    for (int rtu = 1; rtu < kRtuEntries; ++rtu) {
        ASSERT_EQ(c.rtu_state[rtu], RtuNotConfirmed) << rtu;
    }
    PollQueueEntry poll{};
    EXPECT_FALSE(DequeuePoll(c, &poll));
    CommandQueueEntry command{};
    EXPECT_FALSE(CopyOldestCommand(c, &command));
    for (int slot = 0; slot < 10; ++slot) {
        ASSERT_TRUE(TakePollSlot(c)) << slot;
        ASSERT_TRUE(TakeCommandSlot(c)) << slot;
    }
    EXPECT_FALSE(TakePollSlot(c)) << "ten polls in flight by default";
    EXPECT_FALSE(TakeCommandSlot(c)) << "ten writes in flight by default";
    for (ByteFlag* flag :
         {&c.slot_change_lock, &c.command_queue_lock, &c.poll_queue_lock, &c.error_gate_lock,
          &c.status_channel_busy[0], &c.status_channel_busy[1]}) {
        const ChannelTurn turn(flag, 0);
        EXPECT_TRUE(turn.taken()) << "a flag left held";
    }
    EXPECT_TRUE(QueuedTurn(c.command_busy, 0).taken()) << "the sync channel's turn left held";
    EXPECT_EQ(test::LogText(), "");
}

TEST(ContextTest, ResetLeavesWhatStartUpSetsItself) {
    auto context = DirtyContext();
    std::strcpy(context->primary_address, "10.1.1.5");
    std::strcpy(context->secondary_address, "10.1.1.6");
    context->client = 9;
    context->sync_reply_timeout = 3010;
    context->start_flag = 1;
    ResetContext(1, *context);

    EXPECT_STREQ(context->primary_address, "10.1.1.5");
    EXPECT_STREQ(context->secondary_address, "10.1.1.6");
    EXPECT_EQ(context->client, 9);
    EXPECT_EQ(context->sync_reply_timeout, 3010);
    EXPECT_EQ(context->start_flag, 1);
    // Buffers and queue entries keep their bytes: only the counts say they are empty.
    EXPECT_EQ(context->burst_buffer[0], 0x6B);
    EXPECT_EQ(context->command_buffer[8299], 0x6B);
    EXPECT_EQ(context->mode_message[8199], 0x6B);
    EXPECT_EQ(context->poll_queue[9999].subaddress, 0x6B6B6B6B);
    EXPECT_EQ(context->command_queue[1999].elements[999], 0x6B);
}

}  // namespace
}  // namespace krogw
