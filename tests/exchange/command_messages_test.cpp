// The write, set-time and SetCall messages byte for byte, the command queue's limits,
// order and element bytes, and the reading of late replies.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "context/command_queue.h"
#include "context/context.h"
#include "driver/gate_io.h"
#include "exchange/command_message.h"
#include "exchange/command_reply.h"
#include "exchange/host_result.h"
#include "gateway/frame.h"
#include "tests/support/gw_message.h"

namespace krogw {
namespace {

using test::Bytes;

constexpr int32_t kTable3Column2Row40 = 3 * 4096 + 2 * 256 + 40;

// A single value as the host hands it: the raw word; 16-bit values in its upper half.
CommandWrite Single(int32_t width, uint32_t raw_word) {
    return {7, kTable3Column2Row40, width, 1, raw_word, nullptr};
}

CommandWrite Array(int32_t width, const Bytes& elements, int32_t count) {
    return {7, kTable3Column2Row40, width, count, 0, elements.data()};
}

Bytes Build(const CommandWrite& write) {
    Bytes buffer(kRequestBufferBytes, 0xEE);
    buffer.resize(BuildCommandMessage(write, 0x0102, buffer.data(), buffer.size()));
    return buffer;
}

Bytes Values(const Bytes& message) {
    return message.size() < 52 ? Bytes{} : Bytes(message.begin() + 52, message.end());
}

TEST(CommandMessageTest, SingleSixteenBitWriteWholeMessage) {
    const Bytes expected = {
        0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x01,  // marks, class 1, channel
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x01,  // status, length 54, tail
        0x00, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00,              // opcode 259, reserved
        0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00,              // result, data_length 18
        0x00, 0x07, 0x03, 0x28, 0x01, 0x02, 0x01,                    // RTU 7, table 3, row 40...
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // reserved
        0x12, 0x34};
    EXPECT_EQ(Build(Single(16, 0x12340000)), expected);
}

TEST(CommandMessageTest, ValuesByWidthAndCount) {
    const Bytes bits = {1, 0, 1, 1, 0, 0, 0, 0, 1, 7};
    const Bytes words = {0x34, 0x12, 0x78, 0x56, 0xCD, 0xAB};  // little-endian, as the host
    const Bytes longs = {0x78, 0x56, 0x34, 0x12, 0x01, 0x00, 0x00, 0x80};
    const struct {
        const char* name;
        CommandWrite write;
        uint32_t opcode;
        Bytes values;
    } cases[] = {
        {"32-bit single", Single(32, 0x12345678), 259, {0x12, 0x34, 0x56, 0x78}},
        {"8-bit single, true", Single(8, 0x00050000), 259, {0x80}},
        {"8-bit single, only the low half set", Single(8, 0x0000FFFF), 259, {0x00}},
        {"ten bits", Array(8, bits, 10), 258, {0xB0, 0xC0}},
        {"eight bits fill one byte", Array(8, bits, 8), 258, {0xB0}},
        {"three words", Array(16, words, 3), 258, {0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD}},
        {"two longs", Array(32, longs, 2), 258, {0x12, 0x34, 0x56, 0x78, 0x80, 0x00, 0x00, 0x01}},
        {"no elements", Array(16, words, 0), 258, {}},
    };
    for (const auto& c : cases) {
        const Bytes message = Build(c.write);
        ASSERT_EQ(message.size(), 52 + c.values.size()) << c.name;
        EXPECT_EQ(GetU16(&message[16]), message.size()) << c.name;
        EXPECT_EQ(GetU16(&message[32]), message.size() - 36) << c.name;
        EXPECT_EQ(GetU32(&message[20]), c.opcode) << c.name;
        EXPECT_EQ(message[40], c.write.element_count) << c.name;
        EXPECT_EQ(Values(message), c.values) << c.name;
    }
}

TEST(CommandMessageTest, RequestValuesAreReadFromTheirOwnPlaces) {
    uint8_t value_buffer[4] = {0x00, 0x00, 0x34, 0x12};
    GateIoArguments arguments{};
    arguments.address = {7, TableElement, kTable3Column2Row40, kFixedWord, 16};
    arguments.element_count = 1;
    arguments.value_buffer = value_buffer;
    const Bytes message = Build(CommandWriteFromRequest(arguments));
    EXPECT_EQ(GetU32(&message[20]), 259u);
    EXPECT_EQ(Values(message), (Bytes{0x12, 0x34}));

    // Two 8-bit elements: the buffer may hold no more than them (ASan checks the reads).
    const auto two = std::make_unique<uint8_t[]>(2);
    two[0] = 1;
    arguments.address.bit_width = 8;
    arguments.element_count = 2;
    arguments.value_buffer = two.get();
    EXPECT_EQ(Values(Build(CommandWriteFromRequest(arguments))), (Bytes{0x80}));
}

TEST(CommandMessageTest, LargestArrayFitsAndNothingBeyondIsBuilt) {
    const Bytes longs(1000, 0x5A);
    EXPECT_EQ(Build(Array(32, longs, 250)).size(), 1052u);

    Bytes buffer(1051);
    EXPECT_EQ(BuildCommandMessage(Array(32, longs, 250), 1, buffer.data(), buffer.size()), 0u);
    const Bytes more(1004, 0x5A);
    EXPECT_TRUE(Build(Array(32, more, 251)).empty());
    EXPECT_TRUE(Build(Array(32, longs, -1)).empty());
    EXPECT_TRUE(Build(Single(12, 1)).empty());
    EXPECT_TRUE(Build({7, 0, 16, 3, 0, nullptr}).empty());
}

TEST(CommandMessageTest, SetRtuTimeOnASundayAfternoon) {
    const PlatformTime time{2004, 11, 7, 0, 14, 30, 45, 999};
    uint8_t buffer[kRequestBufferBytes];
    ASSERT_EQ(BuildSetRtuTimeMessage(300, time, 0x0102, buffer, sizeof buffer), 59u);
    EXPECT_EQ(GwMessageClass(GetU32(buffer + 20)), 1u);
    EXPECT_EQ(GetU32(buffer + 20), 1028u);
    EXPECT_EQ(GetU16(buffer + 16), 59);
    EXPECT_EQ(GetU16(buffer + 32), 23);
    EXPECT_EQ(Bytes(buffer + 36, buffer + 59),
              (Bytes{0x01, 0x2C, 0,    0,    0,    0,    0,   0, 0, 0, 0, 0, 0, 0, 0, 0,  //
                     0x18, 0x0B, 0x07, 0x01, 0x0E, 0x1E, 0x2D}));
}

TEST(CommandMessageTest, SetCallFromTheSixParameters) {
    const SetCallParameters params{300, 2, 1000, 3, 4, 60};
    uint8_t buffer[kSetCallMessageBytes];
    ASSERT_EQ(BuildSetCallMessage(params, 0x0102, buffer, sizeof buffer), 59u);
    EXPECT_EQ(GetU32(buffer + 20), 513u);
    EXPECT_EQ(buffer[4], 1);
    EXPECT_EQ(GetU16(buffer + 16), 59);
    EXPECT_EQ(Bytes(buffer + 36, buffer + 38), (Bytes{0x01, 0x2C}));
    EXPECT_EQ(Bytes(buffer + 52, buffer + 59), (Bytes{0x02, 0x03, 0xE8, 0x03, 0x04, 0x00, 0x3C}));
    EXPECT_EQ(BuildSetCallMessage(params, 0x0102, buffer, 58), 0u);
}

std::unique_ptr<DriverContext> FreshContext() {
    auto context = std::make_unique<DriverContext>();
    ResetContext(1, *context);
    return context;
}

// The oldest write, taken off the queue as the command thread does once it has gone out.
bool DequeueCommand(DriverContext& context, CommandQueueEntry* oldest) {
    if (!CopyOldestCommand(context, oldest)) {
        return false;
    }
    DropOldestCommand(context);
    return true;
}

TEST(CommandQueueTest, QueuedWriteIsSentWithAllItsBytes) {
    auto context = FreshContext();
    Bytes words(200);
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint8_t>(i * 7);
    }
    const CommandWrite array = Array(16, words, 100);
    const CommandWrite single = Single(32, 0x12345678);
    ASSERT_TRUE(EnqueueCommand(*context, array));
    ASSERT_TRUE(EnqueueCommand(*context, single));
    words.assign(words.size(), 0);  // the host's buffer is reused once the request returns

    CommandQueueEntry entry{};
    ASSERT_TRUE(DequeueCommand(*context, &entry));
    const Bytes sent = Build(CommandWriteFromEntry(entry));
    ASSERT_EQ(sent.size(), 252u);
    for (size_t i = 0; i < 100; ++i) {
        ASSERT_EQ(GetU16(&sent[52 + 2 * i]), (i * 14 + 7) % 256 << 8 | (i * 14) % 256) << i;
    }
    ASSERT_TRUE(DequeueCommand(*context, &entry));
    EXPECT_EQ(Build(CommandWriteFromEntry(entry)), Build(single));
    EXPECT_FALSE(DequeueCommand(*context, &entry));
}

TEST(CommandQueueTest, LimitOrderAndWrapAround) {
    auto context = FreshContext();
    const Bytes longs(1000, 0xA5);
    const size_t limit = kCommandQueueEntries - 10;
    CommandQueueEntry entry{};
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < limit; ++i) {
            CommandWrite write = Array(32, longs, 250);
            write.rtu = static_cast<int32_t>(i);
            ASSERT_TRUE(EnqueueCommand(*context, write)) << i;
        }
        EXPECT_FALSE(EnqueueCommand(*context, Single(16, 0)));
        for (size_t i = 0; i < limit; ++i) {
            ASSERT_TRUE(DequeueCommand(*context, &entry));
            ASSERT_EQ(entry.rtu, static_cast<int32_t>(i));
            ASSERT_EQ(entry.elements[999], 0xA5);
        }
    }
    context->cmd_buffer_length = 99;
    EXPECT_EQ(CommandQueueLimit(*context), 1901u);

    // A drained write that must wait again keeps its place at the head, ahead of the
    // writes queued after it.
    for (const int32_t rtu : {1, 2}) {
        EnqueueCommand(*context, {rtu, 0, 16, 1, 0, nullptr});
    }
    ASSERT_TRUE(CopyOldestCommand(*context, &entry));
    EnqueueCommand(*context, {3, 0, 16, 1, 0, nullptr});
    for (const int32_t rtu : {1, 2, 3}) {
        ASSERT_TRUE(DequeueCommand(*context, &entry));
        EXPECT_EQ(entry.rtu, rtu);
    }
    EXPECT_FALSE(DequeueCommand(*context, &entry));
    EXPECT_FALSE(EnqueueCommand(*context, Array(32, longs, 251)));
    EXPECT_EQ(context->command_queue_count, 0);
}

Bytes Reply(uint32_t type, uint32_t result_code, const Bytes& body) {
    return test::GwMessage(kGwReplyBit | type, result_code, body, {.status = kGwStatusNormal});
}

TEST(CommandReplyTest, FieldsAreReadOnlyInsideTheMessage) {
    Bytes message = Reply(258, 5, {0x01, 0x2C, 0x09, 0, 0});
    CommandReply reply{};
    ASSERT_TRUE(ReadCommandReply(message.data(), message.size(), &reply));
    EXPECT_EQ(reply.status, 1u);
    EXPECT_EQ(reply.type, 258u);
    EXPECT_EQ(reply.result_code, 5u);
    EXPECT_EQ(reply.rtu, 300);
    EXPECT_EQ(reply.table, 9);

    // Bytes past total_length are not the message's, however many were received.
    PutU16(&message[16], 38);
    ASSERT_TRUE(ReadCommandReply(message.data(), message.size(), &reply));
    EXPECT_TRUE(reply.has_rtu);
    EXPECT_FALSE(reply.has_table);
    PutU16(&message[16], 36);
    ASSERT_TRUE(ReadCommandReply(message.data(), message.size(), &reply));
    EXPECT_TRUE(reply.has_command_block);
    EXPECT_FALSE(reply.has_rtu);
    PutU16(&message[16], 24);
    ASSERT_TRUE(ReadCommandReply(message.data(), message.size(), &reply));
    EXPECT_FALSE(reply.has_command_block);
    EXPECT_EQ(reply.type, 0u);
    PutU16(&message[16], 60);
    EXPECT_FALSE(ReadCommandReply(message.data(), message.size(), &reply));
    EXPECT_FALSE(ReadCommandReply(message.data(), 19, &reply));
}

LateReplyOutcome LateWrite(uint32_t code, uint8_t state, uint8_t sign) {
    const Bytes message = Reply(259, code, {0, 7, 3});
    CommandReply reply{};
    ReadCommandReply(message.data(), message.size(), &reply);
    return JudgeLateCommandReply(reply, state, sign);
}

LateReplyOutcome LateSetTime(uint32_t code, size_t body_bytes) {
    const Bytes message = Reply(1028, code, Bytes(body_bytes, 0));
    CommandReply reply{};
    ReadCommandReply(message.data(), message.size(), &reply);
    return JudgeLateSetTimeReply(reply);
}

void ExpectOutcome(const LateReplyOutcome& outcome, bool changes, uint8_t state, bool tells,
                   LateReplyLog log) {
    EXPECT_EQ(outcome.changes_state, changes);
    if (changes) {
        EXPECT_EQ(outcome.new_state, state);
    }
    EXPECT_EQ(outcome.tells_host, tells);
    EXPECT_EQ(outcome.log, log);
}

TEST(CommandReplyTest, LateRepliesLeaveTheRtuStates) {
    ExpectOutcome(LateWrite(0, RtuNotConfirmed, 1), true, RtuActive, false, LateReplyLog::Success);
    ExpectOutcome(LateWrite(129, RtuActive, 1), true, RtuCommunicationFailed, true,
                  LateReplyLog::Failure);
    ExpectOutcome(LateWrite(129, RtuActive, 0), true, RtuCommunicationFailed, false,
                  LateReplyLog::Failure);
    ExpectOutcome(LateWrite(5, RtuActive, 1), false, 0, false, LateReplyLog::Failure);
    ExpectOutcome(LateWrite(0, RtuDisabled, 1), false, 0, false, LateReplyLog::None);
    ExpectOutcome(LateSetTime(0, 2), true, RtuActive, false, LateReplyLog::Success);
    ExpectOutcome(LateSetTime(129, 2), true, RtuCommunicationFailed, false, LateReplyLog::Failure);
    ExpectOutcome(LateSetTime(5, 2), false, 0, false, LateReplyLog::Failure);
    ExpectOutcome(LateSetTime(0, 1), false, 0, false, LateReplyLog::None);  // names no RTU

    EXPECT_EQ(ReportedResult(ResultOfState(RtuCommunicationFailed), 0), HostNotDone);
    EXPECT_EQ(ReportedResult(ResultOfState(RtuCommunicationFailed), 1), HostFailed);
    EXPECT_EQ(static_cast<uint8_t>(ReportedResult(ResultOfState(RtuDisabled), 0)), RtuDisabled);
}

}  // namespace
}  // namespace krogw
