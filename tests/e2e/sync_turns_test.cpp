// The sync channel under several host threads: every write is answered as the gateway
// answered it, judged by what the simulated gateways received and sent, not by the
// driver's log; a confirmation answers only its own write; a turn that does not come
// within its bound refuses the request without sending anything.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "context/turn_queue.h"
#include "exchange/special_writes.h"
#include "gateway/hot_backup.h"
#include "tests/e2e/commands_fixture.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kRefusedRtu = 9;  // offline at both gateways: every write answered 129

class SyncTurnsTest : public CommandsTest {
  protected:
    void SetUp() override {
        CommandsTest::SetUp();
        for (gwsim::Gateway* gateway : {&primary_, &secondary_}) {
            gateway->DefineTable(kRefusedRtu, kTable, 1, kRows);
            gateway->SetRtuOnline(kRefusedRtu, false);
        }
    }

    // The reply a gateway sent to the write of (rtu, row), if it sent one.
    static std::optional<gwsim::RecordedRequest> ReplyTo(const gwsim::Gateway& gateway,
                                                         uint16_t rtu, int row) {
        for (const gwsim::RecordedRequest& sent : gateway.Sent()) {
            if (sent.opcode == (kOpSendCommand | kGwReplyBit) && sent.Rtu() == rtu &&
                sent.U8(38) == kTable && sent.U8(39) == row) {
                return sent;
            }
        }
        return std::nullopt;
    }
};

// One host thread, a gateway slower than cmd_response_time: the late confirmation of
// one request comes while the next request to the same point waits, and is taken as
// late; the next one is answered by its own refusal. The same for clock writes.
TEST_F(SyncTurnsTest, ALateConfirmationNeverAnswersALaterRequest) {
    Connect(false);
    context_->cmd_response_time = 1000;
    context_->rtu_state[kRtu] = RtuNotConfirmed;

    primary_.faults().DelayReply(kOpSendCommand, 1500, 1);
    EXPECT_EQ(Write(16, kWordColumn, 20, {1}), RtuNotConfirmed) << LogText();
    primary_.faults().DelayReply(kOpSendCommand, 800, 1);
    primary_.faults().OverrideResult(kOpSendCommand, 5, 1);
    EXPECT_EQ(Write(16, kWordColumn, 20, {2}), 1) << "answered by the earlier confirmation\n"
                                                  << LogText();
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send command msg (5)"), 1);
    EXPECT_EQ(Logged(kLogTrace, "KROGW : Send Command To Rtu 7 Success (As burst)"), 1);
    EXPECT_EQ(context_->commands_in_flight, 0);

    GateIoArguments clock{};
    clock.address = GateAddress{RtuSpecialUnit, RtuTime, kRtu, kFixedWord, 16};
    primary_.faults().DelayReply(kOpSetRtuTime, 1500, 1);
    EXPECT_EQ(SetRtuTime(*context_, clock.address.subaddress), RtuNotConfirmed) << LogText();
    primary_.faults().DelayReply(kOpSetRtuTime, 800, 1);
    primary_.faults().OverrideResult(kOpSetRtuTime, 9, 1);
    EXPECT_EQ(SetRtuTime(*context_, clock.address.subaddress), 1) << LogText();
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send RTU time command (9)"), 1);
}

// The sync channel held by another exchange beyond the waiter bound: a write, a clock
// write and a manual switch-over are each refused with their line, send nothing and
// keep nothing, and a reconnect answers 1; once it is let go, a write goes.
TEST_F(SyncTurnsTest, WithoutItsTurnARequestIsRefusedAndNothingIsSent) {
    Connect(true);
    context_->cmd_response_time = 100;
    context_->sync_reply_timeout = 100;
    const int32_t bound_ms = SyncTurnWaitMs(*context_);
    ASSERT_EQ(bound_ms, 400);
    auto held = std::make_unique<QueuedTurn>(context_->command_busy, 0);
    ASSERT_TRUE(held->taken());

    const auto start = Clock::now();
    EXPECT_EQ(Write(16, kWordColumn, 3, {1}), kResultFailed);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 390ms) << "gave up before the bound (a millisecond clock)";
    EXPECT_LT(waited, 2s) << "waited beyond the bound";
    context_->sign_rtu_on_fail = 0;
    EXPECT_EQ(Write(16, kWordColumn, 3, {2}), kResultNotDone);
    EXPECT_EQ(
        Logged(kLogError, "KroGW : Sync channel busy for 400 ms, write to Rtu 7 Tbl 3 not sent"),
        2);
    EXPECT_EQ(context_->commands_in_flight, 0) << "a refused write kept its slot";

    EXPECT_EQ(SetRtuTime(*context_, kRtu), 1);
    EXPECT_EQ(Logged(kLogError, "KroGW : Sync channel busy for 400 ms, set time of Rtu 7 not sent"),
              1);
    EXPECT_EQ(SwitchGateway(*context_, kManualSwitch), kResultNotDone);
    EXPECT_EQ(Logged(kLogError, "KroGW : Sync channel busy for 400 ms, Hot Backup refused"), 1);
    EXPECT_EQ(context_->active_gateway, kPrimaryGateway);
    EXPECT_EQ(context_->hot_backup_running, 0);
    EXPECT_EQ(context_->gateway_change_running, 0);
    EXPECT_TRUE(primary_.Requests().empty());
    EXPECT_TRUE(secondary_.Requests().empty());
    // A reconnect of the active gateway reopens it but cannot forget the writes in flight.
    EXPECT_EQ(Reconnect(PrimaryGatewayUnit), kResultNotDone);
    EXPECT_EQ(Logged(kLogError, "KroGW : Sync channel busy for 400 ms, writes in flight kept"), 1);

    held.reset();
    EXPECT_EQ(Write(16, kWordColumn, 3, {3}), 0) << LogText();
    EXPECT_EQ(ValuesReceived(primary_, 3), (std::vector<uint32_t>{3}));
}

// A write whose send fails switches gateways holding the sync channel, with the real
// pause; a second writer waits its turn meanwhile and goes after it on the new gateway,
// and the channel is given back.
TEST_F(SyncTurnsTest, ASwitchOverHoldingTheChannelGivesItBackToTheNextInLine) {
    Connect(true);
    SetGatewayPauses({kConnectSettleMs, kReconnectPauseMs, kSwitchOverPauseMs});
    PlatformSocketShutdown(context_->primary_sockets.sync);
    uint8_t first = kResultFailed;
    std::thread switching([&] { first = Write(16, kWordColumn, 2, {2}); });
    ASSERT_TRUE(WaitFor(
        [&] { return Logged(kLogError, "KroGW : Start Hot Backup process (Automatic)") == 1; },
        5s));
    const uint8_t second = Write(16, kWordColumn, 4, {4});
    switching.join();
    EXPECT_EQ(first, 0) << LogText();
    EXPECT_EQ(second, 0) << LogText();
    EXPECT_EQ(context_->active_gateway, kSecondaryGateway);
    std::vector<uint32_t> order;
    for (const gwsim::RecordedRequest& request : secondary_.Requests()) {
        if (request.opcode == kOpSetMode || request.opcode == kOpSendCommand) {
            order.push_back(request.opcode == kOpSetMode ? 0 : request.U8(39));
        }
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 2, 4})) << "set-mode, then the writes in turn";
    EXPECT_TRUE(QueuedTurn(context_->command_busy, 0).taken()) << "the channel was kept";
    EXPECT_EQ(context_->commands_in_flight, 0);
}

struct WriteRecord {
    uint16_t rtu;
    int row;
    uint8_t result;
    Clock::time_point start;
    Clock::time_point end;
};

// Two host threads writing and a third switching gateways by hand, with confirmations
// shorter and longer than cmd_response_time and an RTU that the gateways refuse, in
// rounds. Every write is judged by both gateways' records.
TEST_F(SyncTurnsTest, WritersAndSwitchOversAreAnsweredAsTheGatewaysAnswered) {
    Connect(true);
    constexpr int kResponseMs = 400;
    constexpr int kShortDelaysMs[] = {0, 60};
    constexpr int kLongDelayMs = 700;
    constexpr int kWritesPerThread = 12;
    // Slack for scheduling between a gateway's record and the driver's clock.
    constexpr auto kSlack = 150ms;
    context_->cmd_response_time = kResponseMs;
    context_->rtu_state[kRtu] = RtuActive;
    StartCommandThread();
    const auto bound = std::chrono::milliseconds(SyncTurnWaitMs(*context_));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        std::mutex mutex;
        std::vector<WriteRecord> writes;
        std::atomic<int> switches_done{0};
        auto writer = [&](int first_row, unsigned seed) {
            std::minstd_rand random(seed);
            for (int index = 0; index < kWritesPerThread; ++index) {
                const int pick = static_cast<int>(random() % 3);
                const int delay = pick == 2 ? kLongDelayMs : kShortDelaysMs[pick];
                for (gwsim::Gateway* gateway : {&primary_, &secondary_}) {
                    gateway->faults().DelayReply(kOpSendCommand, delay, 1);
                }
                const uint16_t rtu = index % 3 == 1 ? kRefusedRtu : kRtu;
                const int row = first_row + index;
                WriteRecord record{rtu, row, 0, Clock::now(), {}};
                record.result = Write(16, kWordColumn, row, {static_cast<uint32_t>(row)}, rtu);
                record.end = Clock::now();
                const std::lock_guard lock(mutex);
                writes.push_back(record);
            }
        };
        // Rows of their own in each round: a late reply of one round is never taken for
        // one of the next.
        std::thread first(writer, round * 13, 11u + static_cast<unsigned>(round));
        std::thread second(writer, 60 + round * 13, 23u + static_cast<unsigned>(round));
        std::thread backup([&] {
            for (int turn = 0; turn < 2; ++turn) {
                std::this_thread::sleep_for(700ms);
                const auto start = Clock::now();
                EXPECT_EQ(SwitchGateway(*context_, kManualSwitch), 0) << LogText();
                EXPECT_LT(Clock::now() - start, bound + kSlack) << "waited beyond the bound";
                switches_done.fetch_add(1);
            }
        });
        first.join();
        second.join();
        backup.join();
        ASSERT_EQ(switches_done.load(), 2);
        // Every write confirmed, refused or forgotten by a switch-over: !CMD back to 0.
        EXPECT_TRUE(WaitFor([&] { return context_->commands_in_flight == 0; }, 5s))
            << context_->commands_in_flight << "\n"
            << LogText();
        EXPECT_EQ(context_->command_queue_count, 0);
        EXPECT_TRUE(QueuedTurn(context_->command_busy, 1000).taken()) << "the channel was kept";

        for (const WriteRecord& write : writes) {
            SCOPED_TRACE(testing::Message() << "Rtu " << write.rtu << " row " << write.row
                                            << " answered " << int{write.result});
            std::optional<gwsim::RecordedRequest> request;
            std::optional<gwsim::RecordedRequest> reply;
            for (const gwsim::Gateway* gateway : {&primary_, &secondary_}) {
                for (const gwsim::RecordedRequest& received : gateway->Requests()) {
                    if (received.opcode == kOpSendCommand && received.Rtu() == write.rtu &&
                        received.U8(39) == write.row) {
                        request = received;
                        reply = ReplyTo(*gateway, write.rtu, write.row);
                    }
                }
            }
            EXPECT_LT(write.end - write.start,
                      bound + std::chrono::milliseconds(kResponseMs) + kSlack)
                << "waited beyond the bound";
            if (!request) {
                EXPECT_NE(write.result, 0) << "answered done, never sent";
                continue;
            }
            ASSERT_TRUE(reply.has_value()) << "the simulator answers every write";
            const bool confirmed = reply->U32(kGwResultCodeOffset) == 0;
            const bool timed_out =
                write.end + kSlack >= request->received + std::chrono::milliseconds(kResponseMs);
            if (write.result == 0 && !timed_out) {
                EXPECT_TRUE(confirmed && reply->received <= write.end)
                    << "answered done before its time-out without its confirmation";
            }
            if (confirmed && reply->received - request->received <= kSlack) {
                EXPECT_EQ(write.result, 0) << "confirmed well within cmd_response_time";
            }
            if (write.rtu == kRefusedRtu) {
                EXPECT_NE(write.result, 0) << "the gateway refused every write to this RTU";
            } else if (write.result != 0) {
                ADD_FAILURE() << "sent, confirmed, answered " << int{write.result};
            }
        }

        // Nothing went out on a sync connection while a write waited for its confirmation.
        for (const gwsim::Gateway* gateway : {&primary_, &secondary_}) {
            const std::vector<gwsim::RecordedRequest> received = gateway->Requests();
            for (size_t index = 0; index < received.size(); ++index) {
                const gwsim::RecordedRequest& write = received[index];
                if (write.opcode != kOpSendCommand) {
                    continue;
                }
                const std::optional<gwsim::RecordedRequest> reply =
                    ReplyTo(*gateway, write.Rtu(), write.U8(39));
                auto held_until = write.received + std::chrono::milliseconds(kResponseMs);
                if (reply && reply->received < held_until) {
                    held_until = reply->received;
                }
                for (size_t next = index + 1; next < received.size(); ++next) {
                    if (received[next].connection == write.connection) {
                        EXPECT_GE(received[next].received + kSlack, held_until)
                            << "opcode " << received[next].opcode << " sent under the write to Rtu "
                            << write.Rtu() << " row " << int{write.U8(39)};
                        break;
                    }
                }
            }
        }
        primary_.ClearRequests();
        secondary_.ClearRequests();
    }
}

}  // namespace
}  // namespace krogw::test
