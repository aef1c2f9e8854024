// The poll request byte for byte, and the poll queue's order, limits and ring wrap.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "context/context.h"
#include "context/poll_queue.h"
#include "exchange/poll_message.h"
#include "gateway/frame.h"

namespace krogw {
namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<DriverContext> FreshContext() {
    auto context = std::make_unique<DriverContext>();
    ResetContext(1, *context);
    return context;
}

TEST(PollMessageTest, RowsOfATableTypeWithItsColumnCount) {
    auto context = FreshContext();
    context->column_count[3] = 6;
    context->active_sockets.channel_id = 0x0102;
    const int32_t subaddress = 5 << 24 | 3 << 16 | 10 << 8 | 4;

    for (const uint32_t opcode : {257u, 261u}) {
        const PollRequest poll = MakePollRequest(*context, opcode, 12, subaddress);
        uint8_t buffer[kRequestBufferBytes];
        ASSERT_EQ(BuildPollRequest(poll, buffer, sizeof buffer), 52u);
        const uint8_t op_high = static_cast<uint8_t>(opcode >> 8);
        const uint8_t op_low = static_cast<uint8_t>(opcode);
        // clang-format off
        const Bytes expected = {
            0x00, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x01,  // marks, class 3, channel
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x34, 0x00, 0x01,  // status, length 52, tail
            0x00, 0x00, op_high, op_low, 0x00, 0x00, 0x00, 0x00,         // opcode, reserved
            0x00, 0x00, 0x00, 0x00,                                      // result code
            0x00, 0x10, 0x03, 0x00,                  // data_length 16, table type 3
            0x00, 0x0C, 0x05, 0x0A, 0x04, 0x00, 0x06,  // RTU 12, table 5, rows 10+4, cols 0+6
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        // clang-format on
        EXPECT_EQ(Bytes(buffer, buffer + 52), expected) << opcode;
    }
}

TEST(PollMessageTest, RefusesWhatItCannotBuild) {
    auto context = FreshContext();
    // A type byte beyond the 100 layouts has no columns rather than a read past them.
    const PollRequest beyond = MakePollRequest(*context, kOpPoll, 1, 0x00FF0000);
    EXPECT_EQ(beyond.range.table_type, 0xFF);
    EXPECT_EQ(beyond.column_count, 0);

    uint8_t buffer[kPollMessageBytes];
    EXPECT_EQ(BuildPollRequest(beyond, buffer, kPollMessageBytes - 1), 0u);
    PollRequest write = beyond;
    write.opcode = kOpSendData;
    EXPECT_EQ(BuildPollRequest(write, buffer, sizeof buffer), 0u);
}

PollQueueEntry Poll(int32_t rtu) {
    return {257, rtu, 0x01020304};
}

std::vector<int32_t> DrainAll(DriverContext& context) {
    std::vector<int32_t> rtus;
    PollQueueEntry entry{};
    while (DequeuePoll(context, &entry)) {
        rtus.push_back(entry.rtu);
    }
    return rtus;
}

TEST(PollQueueTest, LimitLeavesRoomForThePollsInFlight) {
    for (const int32_t in_flight_limit : {10, 99}) {
        auto context = FreshContext();
        context->poll_buffer_length = in_flight_limit;
        const int32_t limit = kPollQueueEntries - in_flight_limit;
        for (int32_t i = 0; i < limit; ++i) {
            ASSERT_TRUE(EnqueuePoll(*context, Poll(i))) << i;
        }
        EXPECT_FALSE(EnqueuePoll(*context, Poll(-1)));
        EXPECT_EQ(context->poll_queue_count, limit);

        PollQueueEntry oldest{};
        ASSERT_TRUE(DequeuePoll(*context, &oldest));
        EXPECT_EQ(oldest.rtu, 0);
        EXPECT_TRUE(EnqueuePoll(*context, Poll(-2)));
        EXPECT_FALSE(EnqueuePoll(*context, Poll(-3)));
    }
}

TEST(PollQueueTest, DrainedPollThatMustWaitAgainGoesBehindLaterOnes) {
    auto context = FreshContext();
    for (const int32_t rtu : {1, 2, 3}) {
        EnqueuePoll(*context, Poll(rtu));
    }
    PollQueueEntry drained{};
    ASSERT_TRUE(DequeuePoll(*context, &drained));
    EXPECT_EQ(drained.opcode, 257);
    EXPECT_EQ(drained.subaddress, 0x01020304);
    EnqueuePoll(*context, drained);
    EnqueuePoll(*context, Poll(4));
    EXPECT_EQ(DrainAll(*context), (std::vector<int32_t>{2, 3, 1, 4}));
    EXPECT_EQ(context->poll_queue_count, 0);
    EXPECT_FALSE(DequeuePoll(*context, &drained));
}

TEST(PollQueueTest, OrderHoldsAcrossTheEndOfTheArray) {
    auto context = FreshContext();
    const int32_t limit = kPollQueueEntries - 10;
    // Move the oldest entry near the end of the array, then fill past it.
    for (int32_t round = 0; round < 3; ++round) {
        for (int32_t i = 0; i < limit; ++i) {
            ASSERT_TRUE(EnqueuePoll(*context, Poll(i)));
        }
        std::vector<int32_t> expected(static_cast<size_t>(limit));
        std::iota(expected.begin(), expected.end(), 0);
        ASSERT_EQ(DrainAll(*context), expected) << round;
    }
    EXPECT_LT(context->poll_queue_head, kPollQueueEntries);
}

TEST(PollQueueTest, ClearDiscardsAndTheQueueStartsAfresh) {
    auto context = FreshContext();
    EnqueuePoll(*context, Poll(1));
    EnqueuePoll(*context, Poll(2));
    ClearPollQueue(*context);
    EXPECT_EQ(context->poll_queue_count, 0);
    EnqueuePoll(*context, Poll(3));
    EXPECT_EQ(DrainAll(*context), (std::vector<int32_t>{3}));
}

// The host's thread queues while the burst thread drains: every poll comes out once,
// in the order it went in.
TEST(PollQueueTest, ConcurrentQueueingAndDrainingKeepOrder) {
    auto context = FreshContext();
    constexpr int32_t kPolls = 30000;
    std::atomic<bool> done{false};
    std::vector<int32_t> drained;
    drained.reserve(kPolls);
    std::thread drainer([&] {
        PollQueueEntry entry{};
        while (true) {
            const bool finished = done.load();
            while (DequeuePoll(*context, &entry)) {
                drained.push_back(entry.rtu);
            }
            if (finished) {
                return;
            }
            std::this_thread::yield();
        }
    });
    for (int32_t i = 0; i < kPolls; ++i) {
        while (!EnqueuePoll(*context, Poll(i))) {
            std::this_thread::yield();
        }
    }
    done = true;
    drainer.join();
    ASSERT_EQ(drained.size(), static_cast<size_t>(kPolls));
    for (size_t i = 0; i < drained.size(); ++i) {
        ASSERT_EQ(drained[i], static_cast<int32_t>(i));
    }
}

}  // namespace
}  // namespace krogw
