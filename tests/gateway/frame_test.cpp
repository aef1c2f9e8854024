// The gateway message frame, byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "gateway/frame.h"

namespace krogw {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(const GwFrame& frame) {
    Bytes buffer(kGwBodyOffset, 0xEE);
    EXPECT_TRUE(WriteGwFrame(frame, buffer.data(), buffer.size()));
    return buffer;
}

TEST(FrameTest, GatewayStatusRequestMatchesTheWireExample) {
    const Bytes expected = {0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x00, 0x01, 0x00, 0x00, 0x00, 0x09,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Written(GwRequestFrame(kOpGatewayStatus, 0x0102, 0)), expected);
}

TEST(FrameTest, MessageClassFollowsTheOpcode) {
    const std::array<std::pair<uint32_t, uint32_t>, 12> classes = {{
        {kOpOpenChannel, 0},
        {kOpCloseChannel, 0},
        {kOpSetMode, 0},
        {kOpSendData, 1},
        {kOpSendCommand, 1},
        {kOpSetCall, 1},
        {kOpSetRtuTime, 1},
        {kOpGatewayStatus, 2},
        {kOpRtuChannelStatus, 2},
        {kOpPoll, 3},
        {kOpPollRowList, 3},
        {kOpPoll | kGwReplyBit, 3},
    }};
    for (const auto& [opcode, message_class] : classes) {
        EXPECT_EQ(GwMessageClass(opcode), message_class) << opcode;
    }
    EXPECT_EQ(GwMessageType(0x80000009u), 9u);
}

TEST(FrameTest, WrittenFrameReadsBackWithMixedByteOrders) {
    GwFrame frame = GwRequestFrame(kOpPoll, 0xA1B2, 16);
    frame.header.status = kGwStatusQueueFull;
    frame.command.result_code = 129;
    frame.command.aux_word = 3;
    const Bytes bytes = Written(frame);
    EXPECT_EQ(bytes[8], 0xB2) << "channel id least significant byte first";
    EXPECT_EQ(bytes[4], 3) << "message class least significant byte first";
    EXPECT_EQ(bytes[34], 3) << "aux word in its first byte";
    EXPECT_EQ(bytes[35], 0);

    GwFrame read{};
    ASSERT_TRUE(ReadGwFrame(bytes.data(), bytes.size(), &read));
    EXPECT_EQ(read.header.channel_id, 0xA1B2);
    EXPECT_EQ(read.header.message_class, 3u);
    EXPECT_EQ(read.header.status, kGwStatusQueueFull);
    EXPECT_EQ(read.header.total_length, 52);
    EXPECT_EQ(read.command.opcode, kOpPoll);
    EXPECT_EQ(read.command.result_code, 129u);
    EXPECT_EQ(read.command.data_length, 16);
    EXPECT_EQ(read.command.aux_word, 3);
}

TEST(FrameTest, ShortBuffersAreRefused) {
    std::array<uint8_t, kGwBodyOffset> buffer{};
    GwFrame frame{};
    GwHeader header{};
    EXPECT_FALSE(WriteGwFrame(frame, buffer.data(), kGwBodyOffset - 1));
    EXPECT_FALSE(ReadGwFrame(buffer.data(), kGwBodyOffset - 1, &frame));
    EXPECT_TRUE(ReadGwHeader(buffer.data(), kGwHeaderBytes, &header));
    EXPECT_FALSE(ReadGwHeader(buffer.data(), kGwHeaderBytes - 1, &header));
}

}  // namespace
}  // namespace krogw
