// Writes, RTU clock setting and SetCall against the simulated gateway, with the command
// thread taking late replies and draining the queue.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "context/poll_queue.h"
#include "driver/gate_io.h"
#include "exchange/commands.h"
#include "exchange/special_writes.h"
#include "exchange/threads.h"
#include "gateway/hot_backup.h"
#include "gateway/status.h"
#include "host/qivpro.h"
#include "tests/e2e/commands_fixture.h"
#include "tests/support/status_reads.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;

TEST_F(CommandsTest, WritesOfEveryWidthAndCountReachTheTable) {
    Connect(false);
    const std::vector<uint32_t> bits = {1, 0, 1, 1, 0, 0, 0, 0, 1, 7};
    const struct {
        const char* what;
        uint32_t opcode;
        int32_t width;
        int column;
        int row;
        std::vector<uint32_t> values;
        std::vector<uint32_t> stored;
    } cases[] = {
        {"8-bit single", kOpSendCommand, 8, kBitColumn, 40, {5}, {1}},
        {"16-bit single", kOpSendCommand, 16, kWordColumn, 40, {0x1234}, {0x1234}},
        {"32-bit single", kOpSendCommand, 32, kLongColumn, 40, {0x12345678}, {0x12345678}},
        {"8-bit array as bits",
         kOpSendData,
         8,
         kBitColumn,
         0,
         bits,
         {1, 0, 1, 1, 0, 0, 0, 0, 1, 1}},
        {"16-bit array", kOpSendData, 16, kWordColumn, 10, {1, 0xFFFF, 3}, {1, 0xFFFF, 3}},
        {"32-bit array", kOpSendData, 32, kLongColumn, 100, {0x80000001, 2}, {0x80000001, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Write(c.width, c.column, c.row, c.values), 0) << LogText();
        ASSERT_EQ(primary_.CountRequests(c.opcode), 1u);
        for (size_t index = 0; index < c.stored.size(); ++index) {
            EXPECT_EQ(primary_.Value(kRtu, kTable, c.row + static_cast<int>(index), c.column),
                      c.stored[index])
                << "element " << index;
        }
        EXPECT_EQ(context_->commands_in_flight, 0);
        EXPECT_EQ(context_->rtu_state[kRtu], RtuActive);
        primary_.ClearRequests();
    }
    EXPECT_EQ(Logged(kLogTrace, "KROGW : Send COMMAND To Rtu 7 Success"), 3) << LogText();
    EXPECT_EQ(Logged(kLogTrace, "KROGW : Send DATA To Rtu 7 Success"), 3);

    primary_.faults().OverrideResult(kOpSendCommand, 5, 1);
    EXPECT_EQ(Write(16, kWordColumn, 41, {9}), 1);
    EXPECT_EQ(context_->rtu_state[kRtu], RtuNotConfirmed);
    EXPECT_EQ(context_->commands_in_flight, 0);
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send command msg (5)"), 1);
}

TEST_F(CommandsTest, LateRepliesAreTakenByTheCommandThread) {
    Connect(false);
    context_->cmd_response_time = 200;
    context_->rtu_state[kRtu] = RtuNotConfirmed;
    StartCommandThread();

    primary_.faults().DelayReply(kOpSendCommand, 600, 1);
    EXPECT_EQ(Write(16, kWordColumn, 5, {77}), RtuNotConfirmed);
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Response Timeout(200 mSec) to send command"), 1);
    EXPECT_EQ(context_->commands_in_flight, 1) << "the slot waits for the late reply";
    // The command thread frees the slot, then sets the state and logs.
    ASSERT_TRUE(WaitFor(
        [&] { return Logged(kLogTrace, "KROGW : Send Command To Rtu 7 Success (As burst)") == 1; },
        3s))
        << LogText();
    EXPECT_EQ(context_->commands_in_flight, 0);
    EXPECT_EQ(context_->rtu_state[kRtu], RtuActive);
    EXPECT_EQ(primary_.Value(kRtu, kTable, 5, kWordColumn), 77u);

    // Late error codes: 129 fails the RTU (and tells the host), others leave its state.
    context_->sign_rtu_on_fail = 1;
    const struct {
        uint32_t opcode;
        uint32_t code;
        uint8_t state_after;
        const char* line;  // logged once when the reply is taken; none: the state changes
    } late[] = {
        {kOpSendData, 129, RtuCommunicationFailed, "KROGW : Fail to send Command(129),Rtu 7,Tbl 3"},
        {kOpSendData, 5, RtuCommunicationFailed, "KROGW : Fail to send Command(5),Rtu 7,Tbl 3"},
        {kOpSetRtuTime, 0, RtuActive, nullptr},
        {kOpSetRtuTime, 5, RtuActive, "KROGW : Fail to send to RTU 7 set time Command"},
        {kOpSetRtuTime, 129, RtuCommunicationFailed, nullptr},
    };
    for (const auto& c : late) {
        SCOPED_TRACE(testing::Message() << c.opcode << " code " << c.code);
        primary_.faults().DelayReply(c.opcode, 400, 1);
        primary_.faults().OverrideResult(c.opcode, c.code, 1);
        GateIoArguments clock{};
        clock.address = GateAddress{RtuSpecialUnit, RtuTime, kRtu, kFixedWord, 16};
        if (c.opcode == kOpSetRtuTime) {
            SetRtuTime(*context_, clock.address.subaddress);
        } else {
            Write(16, kWordColumn, 6, {1, 2});
        }
        ASSERT_TRUE(WaitFor(
            [&] {
                return c.line == nullptr ? context_->rtu_state[kRtu] == c.state_after
                                         : Logged(kLogError, c.line) == 1;
            },
            3s))
            << LogText();
        EXPECT_EQ(context_->rtu_state[kRtu], c.state_after);
        EXPECT_EQ(context_->commands_in_flight, 0);
    }
    EXPECT_EQ(hostsim::RtuFailures().size(), 1u);
    // The last reply's state is set before its line is logged.
    EXPECT_TRUE(WaitFor(
        [&] { return Logged(kLogError, "KROGW : Fail to send to RTU 7 set time Command") == 2; },
        3s))
        << LogText();

    StopCommandThread();
    EXPECT_EQ(Logged(kLogError, "KroGW : Start Command thread"), 1);
}

TEST_F(CommandsTest, WritesBeyondTheLimitQueueWholeAndDrainInOrder) {
    Connect(false);
    context_->commands_in_flight = static_cast<uint16_t>(context_->cmd_buffer_length);
    std::vector<uint32_t> hundred(100);
    for (uint32_t index = 0; index < hundred.size(); ++index) {
        hundred[index] = 1000 + index;
    }
    context_->rtu_state[kRtu] = RtuCommunicationFailed;
    context_->sign_rtu_on_fail = 0;
    EXPECT_EQ(Write(16, kWordColumn, 0, hundred), 1) << "2 reported as 1 without SIGN_RTU";
    for (uint32_t value = 1; value <= 3; ++value) {
        Write(16, kWordColumn, 110, {value});
    }
    EXPECT_EQ(context_->command_queue_count, 4);
    EXPECT_EQ(primary_.Requests().size(), 0u);

    // A slot is free, but the new write goes behind the queued ones all the same.
    context_->commands_in_flight = 0;
    Write(16, kWordColumn, 110, {4});
    EXPECT_EQ(context_->command_queue_count, 5);
    EXPECT_EQ(primary_.Requests().size(), 0u);
    StartCommandThread();
    ASSERT_TRUE(WaitFor([&] { return primary_.CountRequests(kOpSendCommand) == 4; }, 5s));
    // A queued write leaves the queue once it was sent, which may be just after the
    // gateway has it.
    EXPECT_TRUE(WaitFor([&] { return context_->command_queue_count == 0; }, 5s));
    for (int row = 0; row < 100; ++row) {
        ASSERT_EQ(primary_.Value(kRtu, kTable, row, kWordColumn),
                  1000u + static_cast<uint32_t>(row))
            << row;
    }
    EXPECT_EQ(ValuesReceived(primary_, 110), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(primary_.Value(kRtu, kTable, 110, kWordColumn), 4u) << "the last written wins";
    StopCommandThread();

    // The queue's limit: 2000 - cmd_buffer_length entries.
    context_->commands_in_flight = static_cast<uint16_t>(context_->cmd_buffer_length);
    for (int index = 0; index < 1990; ++index) {
        Write(32, kLongColumn, 1, {static_cast<uint32_t>(index)});
    }
    EXPECT_EQ(context_->command_queue_count, 1990);
    EXPECT_EQ(Write(32, kLongColumn, 1, {1}), 2);
    EXPECT_EQ(Logged(kLogError, "KroGW : WARNING !!! - Internal CMD buffer if Full"), 1);
    EXPECT_EQ(context_->command_queue_count, 1990);
}

TEST_F(CommandsTest, AFailedSendSwitchesOverAndSendsWithTheNewChannelId) {
    Connect(true);
    // Reopened, the secondary's channels get ids the primary's do not have.
    ASSERT_EQ(Reconnect(SecondaryGatewayUnit), 0);
    PlatformSocketShutdown(context_->primary_sockets.sync);
    context_->commands_in_flight = 0;

    EXPECT_EQ(Write(16, kWordColumn, 2, {0x55}), 0) << LogText();
    EXPECT_EQ(Logged(kLogError, "KroGW : Hot Backup process completed (1->2)"), 1) << LogText();
    EXPECT_EQ(context_->active_gateway, 2);
    const auto sent = secondary_.WaitForRequest(kOpSendCommand, 1s);
    ASSERT_TRUE(sent.has_value());
    const uint16_t channel_id = static_cast<uint16_t>(sent->U8(8) | sent->U8(9) << 8);
    EXPECT_EQ(channel_id, context_->secondary_sockets.channel_id.load());
    EXPECT_NE(channel_id, context_->primary_sockets.channel_id.load());
    EXPECT_EQ(secondary_.Value(kRtu, kTable, 2, kWordColumn), 0x55u);
}

TEST_F(CommandsTest, WithoutASecondaryTheSameChannelIsTriedTwice) {
    Connect(false);
    PlatformSocketShutdown(context_->primary_sockets.sync);
    context_->rtu_state[kRtu] = RtuActive;

    EXPECT_EQ(Write(16, kWordColumn, 2, {1}), 2);
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Fail to send command 103"), 2) << LogText();
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send command"), 1);
    EXPECT_EQ(context_->commands_in_flight, 0);
    EXPECT_EQ(context_->rtu_state[kRtu], RtuActive);
    // Every active channel now fails at once, until a reconnect.
    GateIoArguments status{};
    uint8_t value[4] = {};
    status.address = GateAddress{kRtu, RtuChannelStatus, 0, kFixedWord, 16};
    status.value_buffer = value;
    EXPECT_EQ(QueryRtuChannelStatusInto(*context_, status), kExchangeFailed);
}

TEST_F(CommandsTest, AWriteWhoseChannelEndsBeforeItsConfirmationIsNotDone) {
    Connect(false);
    context_->rtu_state[kRtu] = RtuActive;
    context_->sign_rtu_on_fail = 1;
    primary_.faults().ResetInsteadOfReply(kOpSendCommand, 1);

    EXPECT_EQ(Write(16, kWordColumn, 9, {0x99}), kResultFailed) << LogText();
    EXPECT_EQ(primary_.CountRequests(kOpSendCommand), 1u);
    EXPECT_EQ(Logged(kLogError, "KroGW : Channel ended before the write to Rtu 7 was confirmed"), 1)
        << LogText();
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Response Timeout(2000 mSec) to send command"), 0);
    EXPECT_EQ(context_->commands_in_flight, 0) << "no late reply can come to free the slot";
    EXPECT_EQ(context_->commands_awaiting_reply, 0);
}

// The primary stops confirming while writes queue up behind the slots its silence holds;
// a switch-over, with its real pause, takes the queued writes to the secondary in order
// and drops only the queued polls, saying how many.
TEST_F(CommandsTest, QueuedWritesGoToTheNewGatewayInOrder) {
    Connect(true);
    SetGatewayPauses({kConnectSettleMs, kReconnectPauseMs, kSwitchOverPauseMs});
    context_->cmd_response_time = 100;
    context_->cmd_buffer_length = 2;
    context_->rtu_state[kRtu] = RtuActive;
    primary_.faults().DropReply(kOpSendCommand);
    StartCommandThread();
    for (uint32_t value = 1; value <= 12; ++value) {
        EXPECT_EQ(Write(16, kWordColumn, 20, {value}), RtuActive) << value;
    }
    EXPECT_EQ(context_->commands_in_flight, 2);
    EXPECT_EQ(context_->command_queue_count, 10);
    for (int poll = 0; poll < 3; ++poll) {
        ASSERT_TRUE(EnqueuePoll(*context_, {kOpPoll, kRtu, kTable * 4096}));
    }

    ASSERT_EQ(SwitchGateway(*context_, kManualSwitch), 0) << LogText();
    EXPECT_EQ(Logged(kLogError, "KroGW : 3 queued polls dropped by the gateway change"), 1)
        << LogText();
    ASSERT_TRUE(WaitFor([&] { return context_->command_queue_count == 0; }, 10s)) << LogText();
    EXPECT_EQ(ValuesReceived(primary_, 20), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(ValuesReceived(secondary_, 20),
              (std::vector<uint32_t>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(secondary_.Value(kRtu, kTable, 20, kWordColumn), 12u);
    EXPECT_TRUE(WaitFor([&] { return context_->commands_in_flight == 0; }, 2s))
        << context_->commands_in_flight;
}

// A switch-over while a write waits for its confirmation on the old gateway, with the
// real pause: the switch-over waits for the exchange, so its set-mode exchange on the
// old sync channel cannot take the confirmation and the write's slot stays its own.
TEST_F(CommandsTest, ASwitchOverWaitsForAWriteWaitingForItsConfirmation) {
    Connect(true);
    SetGatewayPauses({kConnectSettleMs, kReconnectPauseMs, kSwitchOverPauseMs});
    context_->cmd_response_time = 4000;
    context_->rtu_state[kRtu] = RtuNotConfirmed;
    primary_.faults().DelayReply(kOpSendCommand, 1500, 1);
    std::atomic<bool> write_done{false};
    uint8_t result = kResultFailed;
    std::thread writer([&] {
        result = Write(16, kWordColumn, 30, {0xA});
        write_done = true;
    });
    const bool sent = primary_.WaitForRequest(kOpSendCommand, 2s).has_value();
    const int32_t switched = SwitchGateway(*context_, kManualSwitch);
    const bool done_before_switch_ended = write_done;
    writer.join();
    ASSERT_TRUE(sent);
    EXPECT_EQ(switched, 0) << LogText();
    EXPECT_TRUE(done_before_switch_ended) << "the switch-over ran under the waiting write";
    EXPECT_EQ(result, 0) << LogText();
    EXPECT_EQ(Logged(kLogTrace, "KROGW : Send COMMAND To Rtu 7 Success"), 1) << LogText();
    EXPECT_EQ(context_->commands_in_flight, 0);
    EXPECT_EQ(context_->active_gateway, 2);
    EXPECT_EQ(Write(16, kWordColumn, 30, {0xB}), 0) << LogText();
    EXPECT_EQ(ValuesReceived(secondary_, 30), (std::vector<uint32_t>{0xB}));
}

TEST_F(CommandsTest, SetTimeAndSetCallCarryTheirValues) {
    Connect(false);
    GateIoArguments request{};
    request.address = GateAddress{RtuSpecialUnit, RtuTime, kRtu, kFixedWord, 16};
    const PlatformTime before = PlatformLocalTime();
    EXPECT_EQ(SetRtuTime(*context_, request.address.subaddress), 0) << LogText();
    const PlatformTime after = PlatformLocalTime();
    const auto clock = primary_.ClockOf(kRtu);
    ASSERT_TRUE(clock.has_value());
    bool matches = false;
    for (const PlatformTime& pc : {before, after}) {
        matches |= clock->year == pc.year && clock->month == pc.month && clock->day == pc.day &&
                   clock->weekday == pc.day_of_week + 1 && clock->hour == pc.hour &&
                   clock->minute == pc.minute && clock->second == pc.second;
    }
    EXPECT_TRUE(matches) << clock->year << "-" << clock->month << "-" << clock->day << " "
                         << clock->hour << ":" << clock->minute << ":" << clock->second;

    const int32_t params[] = {300, 2, 1000, 3, 4, 60};
    for (int index = 0; index < kSetCallParams; ++index) {
        context_->setcall_params[index] = params[index];
    }
    EXPECT_EQ(SendSetCall(*context_), 0);
    ASSERT_EQ(primary_.SetCalls().size(), 1u);
    EXPECT_EQ(primary_.SetCalls()[0], (gwsim::SetCallRecord{300, 2, 1000, 3, 4, 60}));

    primary_.faults().OverrideResult(kOpSetCall, 7, 1);
    EXPECT_EQ(SendSetCall(*context_), 1);
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send SetCall command (7)"), 1);
    primary_.faults().OverrideResult(kOpSetRtuTime, 9, 1);
    EXPECT_EQ(SetRtuTime(*context_, request.address.subaddress), 1);
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send RTU time command (9)"), 1);
}

TEST_F(CommandsTest, OtherExchangesKeepTheirTimeOutWhileACommandWaits) {
    Connect(false);
    context_->cmd_response_time = 4000;
    primary_.faults().DropReply(kOpSendCommand, 1);
    std::atomic<bool> write_done{false};
    std::thread writer([&] {
        Write(16, kWordColumn, 3, {1});
        write_done = true;
    });
    ASSERT_TRUE(primary_.WaitForRequest(kOpSendCommand, 2s).has_value());
    EXPECT_EQ(context_->sync_reply_timeout, kReplyTimeoutMs);
    primary_.faults().DropReply(kOpRtuChannelStatus, 1);
    GateIoArguments status{};
    uint8_t value[10] = {};
    status.address = GateAddress{kRtu, RtuChannelStatus, 0, kFixedWord, 16};
    status.value_buffer = value;
    EXPECT_EQ(QueryRtuChannelStatusInto(*context_, status), kExchangeFailed);
    EXPECT_FALSE(write_done) << "the status read gave up after its own time-out";
    writer.join();
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Response Timeout(4000 mSec) to send command"), 1);
}

// The host's thread writing while the command thread takes late replies and drains the
// queue, and the gateway delays and splits replies: judged by what the gateway received.
// Every write is answered done, so every one must reach the gateway once, in the order
// written, and each point ends with the last value written.
TEST_F(CommandsTest, EveryWriteIsAccountedForUnderDelaysAndSplitReplies) {
    Connect(false);
    context_->cmd_response_time = 60;
    context_->cmd_buffer_length = 3;
    context_->rtu_state[kRtu] = RtuActive;
    StartCommandThread();
    std::vector<uint32_t> written[2];  // rows 7 (single values) and 8 (arrays of two)
    int delayed = 0;
    int split = 0;
    const auto end = std::chrono::steady_clock::now() + 3s;
    for (uint32_t index = 1; index <= 1500 && std::chrono::steady_clock::now() < end; ++index) {
        if (index % 4 == 0) {
            primary_.faults().DelayReply(kOpSendCommand, 300, 1);
            ++delayed;
        } else if (index % 4 == 1) {
            primary_.faults().SplitMessage(kOpSendData, 10, 5, 1);
            ++split;
        }
        const bool single = index % 2 == 0;
        written[single ? 0 : 1].push_back(index);
        const uint8_t result =
            single ? Write(16, kWordColumn, 7, {index}) : Write(16, kWordColumn, 8, {index, index});
        ASSERT_EQ(result, 0) << index << LogText();
        // The thread drains about one write a pass; the writer keeps the queue short,
        // so that a slow machine only makes fewer writes, not a backlog.
        const auto throttle_end = std::chrono::steady_clock::now() + 5s;
        while (context_->command_queue_count > 20 &&
               std::chrono::steady_clock::now() < throttle_end) {
            std::this_thread::sleep_for(2ms);
        }
        ASSERT_LT(context_->commands_in_flight, 0x8000);
    }
    const size_t writes = written[0].size() + written[1].size();
    // A busy machine can lose replies (pieces later than the piece wait, a channel out of
    // step drained), and their slots stay counted until the gateway is reopened; queued
    // writes survive the reopening.
    if (!WaitFor([&] { return context_->command_queue_count == 0; }, 5s)) {
        ASSERT_EQ(Reconnect(PrimaryGatewayUnit), 0) << LogText();
    }
    ASSERT_TRUE(WaitFor([&] { return context_->command_queue_count == 0; }, 10s)) << LogText();
    EXPECT_EQ(primary_.CountRequests(kOpSendCommand) + primary_.CountRequests(kOpSendData), writes)
        << "delayed " << delayed << ", split " << split;
    ASSERT_EQ(primary_.RequestsFallenOut(), 0u);
    EXPECT_EQ(ValuesReceived(primary_, 7), written[0]);
    EXPECT_EQ(ValuesReceived(primary_, 8), written[1]);
    EXPECT_EQ(primary_.Value(kRtu, kTable, 7, kWordColumn), written[0].back());
    EXPECT_EQ(primary_.Value(kRtu, kTable, 9, kWordColumn), written[1].back());
    // Once every sender is done, the slots still counted are those of late replies;
    // reopening the gateway forgets exactly those.
    EXPECT_TRUE(WaitFor(
        [&] { return context_->commands_in_flight == context_->commands_awaiting_reply; }, 2s))
        << context_->commands_in_flight << " in flight, " << context_->commands_awaiting_reply
        << " awaiting late replies";
    ASSERT_EQ(Reconnect(PrimaryGatewayUnit), 0) << LogText();
    EXPECT_EQ(context_->commands_in_flight, 0);
    EXPECT_EQ(context_->commands_awaiting_reply, 0);
}

}  // namespace
}  // namespace krogw::test
