// The requests of the channel and status exchanges byte for byte, and the judging of
// every reply, including replies too short for the fields examined.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gateway/frame.h"
#include "gateway/replies.h"
#include "gateway/requests.h"
#include "tests/support/scripted_gateway.h"

namespace krogw {
namespace {

using test::Bytes;
using test::GwMessage;

// The name with its terminating zero byte.
Bytes NameBytes(const char* name) {
    return {name, name + std::strlen(name) + 1};
}

// Header and command block of a request as the driver lays it out, written out by
// hand rather than by the codec.
Bytes RequestHead(uint8_t message_class, uint16_t channel_id, uint16_t total, uint32_t opcode) {
    const auto data_length = static_cast<uint16_t>(total - 36);
    Bytes head(36, 0);
    head[1] = 1;  // head mark
    head[4] = message_class;
    head[8] = static_cast<uint8_t>(channel_id);
    head[9] = static_cast<uint8_t>(channel_id >> 8);
    head[16] = static_cast<uint8_t>(total >> 8);
    head[17] = static_cast<uint8_t>(total);
    head[19] = 1;  // tail mark
    for (size_t i = 0; i < 4; ++i) {
        head[20 + i] = static_cast<uint8_t>(opcode >> (24 - 8 * i));
    }
    head[32] = static_cast<uint8_t>(data_length >> 8);
    head[33] = static_cast<uint8_t>(data_length);
    return head;
}

// A message of exactly a header.
Bytes HeaderOnly(uint32_t opcode) {
    Bytes message = GwMessage(opcode, 0);
    message.resize(kGwHeaderBytes);
    PutU16(message.data() + kGwTotalLengthOffset, kGwHeaderBytes);
    return message;
}

Bytes Concat(Bytes head, const Bytes& body) {
    head.insert(head.end(), body.begin(), body.end());
    return head;
}

TEST(InstanceNameTest, DriverNumberAndLowSixteenBitsOfTheSerial) {
    const struct {
        uint8_t driver;
        int32_t serial;
        const char* name;
    } cases[] = {
        {3, 7, "QIV_3_07"},
        {12, 345, "QIV_12_345"},
        {1, 0, "QIV_1_00"},
        {255, 0x1FFFF, "QIV_255_65535"},  // the longest name: 13 characters
        {7, 0x10009, "QIV_7_09"},
    };
    for (const auto& c : cases) {
        char name[kInstanceNameBytes];
        EXPECT_EQ(FormatInstanceName(c.driver, c.serial, name), std::string(c.name).size());
        EXPECT_STREQ(name, c.name);
    }
}

TEST(RequestTest, EveryRequestMatchesItsLayout) {
    const Bytes name = NameBytes("QIV_12_345");
    struct Case {
        const char* what;
        size_t (*build)(uint8_t*, size_t);
        Bytes expected;
    };
    const Case cases[] = {
        {"open status channel",
         [](uint8_t* b, size_t n) { return BuildOpenChannelRequest(0, "QIV_12_345", b, n); },
         Concat(RequestHead(0, 0, 48, 1), Concat({0}, name))},
        {"open burst channel",
         [](uint8_t* b, size_t n) { return BuildOpenChannelRequest(7, "QIV_12_345", b, n); },
         Concat(RequestHead(0, 0, 48, 1), Concat({7}, name))},
        {"close channel 0x0203",
         [](uint8_t* b, size_t n) { return BuildCloseChannelRequest(0x0203, "QIV_12_345", b, n); },
         Concat(RequestHead(0, 0x0203, 49, 7), Concat({0x02, 0x03}, name))},
        {"set mode secondary",
         [](uint8_t* b, size_t n) { return BuildSetModeRequest(0x0102, 1, b, n); },
         Concat(RequestHead(0, 0x0102, 37, 8), {1})},
        {"gateway status",
         [](uint8_t* b, size_t n) { return BuildGatewayStatusRequest(0x0102, b, n); },
         RequestHead(2, 0x0102, 36, 9)},
        {"rtu channel status of rtu 0x1234",
         [](uint8_t* b, size_t n) { return BuildRtuChannelStatusRequest(0x0A0B, 0x1234, b, n); },
         Concat(RequestHead(2, 0x0A0B, 52, 10), Concat({0x12, 0x34}, Bytes(14, 0)))},
    };
    for (const Case& c : cases) {
        Bytes buffer(100, 0xEE);
        const size_t length = c.build(buffer.data(), buffer.size());
        ASSERT_EQ(length, c.expected.size()) << c.what;
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), c.expected)
            << c.what;
        EXPECT_EQ(buffer[length], 0xEE) << c.what << ": nothing written past the message";
        // A buffer one byte short holds nothing.
        Bytes small(length - 1, 0xEE);
        EXPECT_EQ(c.build(small.data(), small.size()), 0u) << c.what;
        EXPECT_EQ(small, Bytes(length - 1, 0xEE)) << c.what;
    }
}

TEST(RequestTest, CloseRequestCarriesTheChannelIdBothWays) {
    Bytes buffer(64);
    ASSERT_EQ(BuildCloseChannelRequest(0x0203, "QIV_12_345", buffer.data(), buffer.size()), 49u);
    EXPECT_EQ(buffer[8], 0x03) << "header: least significant byte first";
    EXPECT_EQ(buffer[9], 0x02);
    EXPECT_EQ(buffer[36], 0x02) << "body: network order";
    EXPECT_EQ(buffer[37], 0x03);
    EXPECT_EQ(GetU16(buffer.data() + 32), 13);
}

Bytes OpenReply(uint32_t result_code, uint8_t type, uint16_t channel_id) {
    return GwMessage(kGwReplyBit | kOpOpenChannel, result_code,
                     {0xAA, 0xBB, type, static_cast<uint8_t>(channel_id >> 8),
                      static_cast<uint8_t>(channel_id)});
}

TEST(ReplyTest, OpenChannelReplies) {
    const struct {
        const char* what;
        Bytes reply;
        uint8_t requested;
        OpenChannelVerdict verdict;
        uint32_t result_code;
        uint8_t type;
        uint16_t channel_id;
    } cases[] = {
        {"accepted", OpenReply(0, 7, 0x0A0B), 7, OpenChannelVerdict::Accepted, 0, 7, 0x0A0B},
        {"opcode not examined", GwMessage(1234, 0, {0, 0, 0, 0x01, 0x02}), 0,
         OpenChannelVerdict::Accepted, 0, 0, 0x0102},
        {"error code 5", OpenReply(5, 7, 1), 7, OpenChannelVerdict::Refused, 5, 0, 0},
        {"type 0 for a burst channel", OpenReply(0, 0, 1), 7, OpenChannelVerdict::TypeMismatch, 0,
         0, 0},
        {"ends before the channel id", GwMessage(0x80000001, 0, {0, 0, 7, 1}), 7,
         OpenChannelVerdict::TooShort, 0, 0, 0},
        {"header only", HeaderOnly(0x80000001), 7, OpenChannelVerdict::TooShort, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const OpenChannelReply reply =
            JudgeOpenChannelReply(c.reply.data(), c.reply.size(), c.requested);
        EXPECT_EQ(reply.verdict, c.verdict) << c.what;
        EXPECT_EQ(reply.result_code, c.result_code) << c.what;
        if (c.verdict == OpenChannelVerdict::Accepted) {
            EXPECT_EQ(reply.channel_id, c.channel_id) << c.what;
        }
        if (c.verdict == OpenChannelVerdict::TypeMismatch) {
            EXPECT_EQ(reply.channel_type, c.type) << c.what;
        }
    }
}

// Judgement of the replies whose opcode is examined (or not: close channel).
TEST(ReplyTest, ResultCodeThenOpcodeThenLength) {
    using Judge = ReplyJudgement (*)(const uint8_t*, size_t);
    const Judge set_mode = JudgeSetModeReply;
    const Judge close = JudgeCloseChannelReply;
    const Judge status = [](const uint8_t* r, size_t n) {
        return DecodeGatewayStatusReply(r, n).judgement;
    };
    const Judge rtu = [](const uint8_t* r, size_t n) {
        return DecodeRtuChannelStatusReply(r, n).judgement;
    };
    const struct {
        const char* what;
        Judge judge;
        Bytes reply;
        ReplyVerdict verdict;
        uint32_t result_code;
    } cases[] = {
        {"mode accepted", set_mode, GwMessage(0x80000008, 0), ReplyVerdict::Accepted, 0},
        {"mode refused", set_mode, GwMessage(0x80000008, 3), ReplyVerdict::Refused, 3},
        {"mode, request opcode", set_mode, GwMessage(8, 0), ReplyVerdict::Unexpected, 0},
        {"mode, error before opcode", set_mode, GwMessage(9, 0x81), ReplyVerdict::Refused, 0x81},
        {"close, any opcode", close, GwMessage(77, 0), ReplyVerdict::Accepted, 0},
        {"close refused", close, GwMessage(0x80000007, 0x1F), ReplyVerdict::Refused, 0x1F},
        {"close, header only", close, HeaderOnly(0x80000007), ReplyVerdict::Unexpected, 0},
        {"status accepted", status, GwMessage(0x80000009, 0, {0, 0, 0, 5}), ReplyVerdict::Accepted,
         0},
        {"status without word", status, GwMessage(0x80000009, 0), ReplyVerdict::Unexpected, 0},
        {"status, other opcode", status, GwMessage(0x8000000A, 0, {0, 0, 0, 5}),
         ReplyVerdict::Unexpected, 0},
        {"rtu accepted", rtu, GwMessage(0x8000000A, 0, Bytes(24)), ReplyVerdict::Accepted, 0},
        {"rtu one byte short", rtu, GwMessage(0x8000000A, 0, Bytes(23)), ReplyVerdict::Unexpected,
         0},
        {"rtu refused", rtu, GwMessage(0x8000000A, 2), ReplyVerdict::Refused, 2},
    };
    for (const auto& c : cases) {
        const ReplyJudgement judgement = c.judge(c.reply.data(), c.reply.size());
        EXPECT_EQ(judgement.verdict, c.verdict) << c.what;
        EXPECT_EQ(judgement.result_code, c.result_code) << c.what;
    }
}

TEST(ReplyTest, OnlyBytesInsideTheMessageCount) {
    // total_length says 36 although the buffer goes on: the status word is not there.
    Bytes reply = GwMessage(0x80000009, 0, {0, 0, 0, 7});
    PutU16(reply.data() + kGwTotalLengthOffset, 36);
    EXPECT_EQ(DecodeGatewayStatusReply(reply.data(), reply.size()).judgement.verdict,
              ReplyVerdict::Unexpected);
    // total_length beyond the buffer, or below a header: nothing is judged.
    PutU16(reply.data() + kGwTotalLengthOffset, 41);
    EXPECT_EQ(DecodeGatewayStatusReply(reply.data(), reply.size()).judgement.verdict,
              ReplyVerdict::Unexpected);
    PutU16(reply.data() + kGwTotalLengthOffset, 19);
    EXPECT_EQ(JudgeCloseChannelReply(reply.data(), reply.size()).verdict, ReplyVerdict::Unexpected);
}

TEST(ReplyTest, StatusWordAndRtuChannelStatusValues) {
    const Bytes status = GwMessage(0x80000009, 0, {0x12, 0x34, 0x00, 0x07});
    EXPECT_EQ(DecodeGatewayStatusReply(status.data(), status.size()).status_word, 0x12340007u);

    Bytes body(24, 0xFF);
    body[53 - 36] = 0x81;
    body[54 - 36] = 0x00;
    body[55 - 36] = 0x2A;
    const struct {
        uint8_t flags;
        uint16_t fourth;
        uint16_t fifth;
    } cases[] = {{0x02, 0, 1}, {0x01, 1, 0}, {0xFC, 0, 0}, {0x03, 1, 1}};
    for (const auto& c : cases) {
        body[59 - 36] = c.flags;
        const Bytes reply = GwMessage(0x8000000A, 0, body);
        const RtuChannelStatusReply decoded =
            DecodeRtuChannelStatusReply(reply.data(), reply.size());
        ASSERT_EQ(decoded.judgement.verdict, ReplyVerdict::Accepted);
        EXPECT_EQ(decoded.values[0], 0x81);
        EXPECT_EQ(decoded.values[1], 0x00);
        EXPECT_EQ(decoded.values[2], 0x2A);
        EXPECT_EQ(decoded.values[3], c.fourth) << int{c.flags};
        EXPECT_EQ(decoded.values[4], c.fifth) << int{c.flags};
    }
}

}  // namespace
}  // namespace krogw
