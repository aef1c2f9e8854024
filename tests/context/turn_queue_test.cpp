// The sync channel's turns: served in the order asked for, never taken from the holder,
// and a waiter that gives up at its bound is passed over without holding up the line.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "context/context.h"
#include "context/turn_queue.h"
#include "tests/support/wait_for.h"

namespace krogw {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int32_t kLongWaitMs = 20000;

class TurnQueueTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetTurnQueue(queue_); }

    // A thread that lines up once the one before it has, and records when its turn came.
    void LineUp(int name, int32_t wait_ms = kLongWaitMs) {
        const uint32_t before = queue_.next_ticket.load();
        threads_.emplace_back([this, name, wait_ms] {
            const QueuedTurn turn(queue_, wait_ms);
            if (turn.taken()) {
                const std::lock_guard lock(mutex_);
                served_.push_back(name);
            }
        });
        ASSERT_TRUE(test::WaitFor([&] { return queue_.next_ticket.load() != before; }, 5s));
    }
    void JoinAll() {
        for (std::thread& thread : threads_) {
            thread.join();
        }
        threads_.clear();
    }
    std::vector<int> Served() {
        const std::lock_guard lock(mutex_);
        return served_;
    }

    TurnQueue queue_{};
    std::mutex mutex_;
    std::vector<int> served_;
    std::vector<std::thread> threads_;
};

TEST_F(TurnQueueTest, WaitersAreServedInTheOrderTheyCameAndAHolderAskingAgainGoesLast) {
    auto held = std::make_unique<QueuedTurn>(queue_, 0);
    ASSERT_TRUE(held->taken());
    for (int name = 1; name <= 4; ++name) {
        LineUp(name);
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(Served().empty()) << "a turn taken from its holder";
    held.reset();
    // The holder that asks again at once, as a writer writing back to back does.
    const QueuedTurn again(queue_, kLongWaitMs);
    ASSERT_TRUE(again.taken());
    EXPECT_EQ(Served(), (std::vector<int>{1, 2, 3, 4}));
    JoinAll();
}

TEST_F(TurnQueueTest, AWaiterGivesUpAtItsBoundAndIsPassedOver) {
    auto held = std::make_unique<QueuedTurn>(queue_, 0);
    const auto start = Clock::now();
    bool taken = true;
    std::thread impatient([&] { taken = QueuedTurn(queue_, 100).taken(); });
    ASSERT_TRUE(test::WaitFor([&] { return queue_.next_ticket.load() == 2; }, 5s));
    LineUp(2);
    impatient.join();
    const auto waited = Clock::now() - start;
    EXPECT_FALSE(taken);
    EXPECT_GE(waited, 98ms) << "gave up before its bound (a millisecond clock)";
    EXPECT_LT(waited, 2s) << "waited beyond its bound";
    held.reset();
    JoinAll();
    EXPECT_EQ(Served(), (std::vector<int>{2})) << "the line stopped at a ticket given up";
    EXPECT_TRUE(QueuedTurn(queue_, 0).taken()) << "the queue was left held";
}

// Many threads taking short turns and giving up at short bounds, while others wait long:
// one holder at a time, every long waiter served, and the line free at the end.
TEST_F(TurnQueueTest, GivingUpWhileTheTurnPassesLosesNoTurnAndLetsNoTwoHold) {
    std::atomic<int> holders{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> long_waits_served{0};
    constexpr int kThreads = 6;
    constexpr int kRounds = 300;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int index = 0; index < kThreads; ++index) {
        threads.emplace_back([&, index] {
            const bool patient = index % 2 == 0;
            for (int round = 0; round < kRounds; ++round) {
                const QueuedTurn turn(queue_, patient ? kLongWaitMs : round % 3);
                if (!turn.taken()) {
                    continue;
                }
                if (holders.fetch_add(1) != 0) {
                    overlaps.fetch_add(1);
                }
                std::this_thread::yield();
                holders.fetch_sub(1);
                if (patient) {
                    long_waits_served.fetch_add(1);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(long_waits_served.load(), kThreads / 2 * kRounds);
    EXPECT_EQ(queue_.serving.load(), queue_.next_ticket.load()) << "a turn was lost";
    for (const auto& mark : queue_.given_up) {
        EXPECT_EQ(mark.load(), 0) << "a given-up mark left for a later waiter";
    }
}

}  // namespace
}  // namespace krogw
