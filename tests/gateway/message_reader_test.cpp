// How long the message reader waits for the pieces of a message, on a scripted link
// whose clock moves only while the reader waits.
#include <gtest/gtest.h>

#include <vector>

#include "context/context.h"
#include "gateway/message_reader.h"
#include "gateway/socket_io.h"
#include "tests/support/gw_message.h"
#include "tests/support/scripted_link.h"

namespace krogw {
namespace {

using test::Bytes;
using test::PieceArrivals;
using test::ScriptedLink;

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return bytes;
}

const Bytes kSound = test::GwMessage(kGwReplyBit | kOpPoll, 0, Pattern(40));

// The deadlines of a reply read (both at the reply time-out) and of an unsolicited one.
struct Deadlines {
    const char* what;
    int64_t wait_until;
    int64_t message_until;
};
constexpr Deadlines kReads[] = {
    {"reply", 1000, 1000},
    {"unsolicited", kUnsolicitedWaitMs, kUnsolicitedWaitMs + kUnsolicitedMessageBoundMs},
};

MessageRead Read(ScriptedLink& link, Bytes& buffer, const Deadlines& deadlines) {
    const int64_t now = link.NowMs();
    return ReadGwMessage(link, buffer.data(), buffer.size(), now + deadlines.wait_until,
                         now + deadlines.message_until);
}

TEST(MessageReaderTest, PiecesWithinTheWaitMakeOneMessage) {
    const struct {
        const char* what;
        std::vector<size_t> cuts;
    } cases[] = {
        {"header in two pieces", {7}},
        {"header, then body", {20}},
        {"header and first body bytes, then the rest in pieces", {24, 50, 70}},
        {"byte by byte through the header", {1, 2, 3, 4, 5, 10, 19}},
    };
    for (const Deadlines& deadlines : kReads) {
        for (const auto& c : cases) {
            ScriptedLink link(kSound, PieceArrivals(kSound.size(), c.cuts, 15));
            Bytes buffer(kRequestBufferBytes);
            const MessageRead read = Read(link, buffer, deadlines);
            EXPECT_EQ(read.fault, ReadFault::None) << deadlines.what << ": " << c.what;
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(kSound.size())),
                      kSound)
                << deadlines.what << ": " << c.what;
        }
    }
}

// The rest of the late message is taken off the link, and the message after it is
// read as sent, not read from the middle of the first.
TEST(MessageReaderTest, RemainderLaterThanThePieceWaitFailsTheReadAndIsSkipped) {
    Bytes late_then_sound = kSound;
    late_then_sound.insert(late_then_sound.end(), kSound.begin(), kSound.end());
    for (const Deadlines& deadlines : kReads) {
        ScriptedLink link(late_then_sound,
                          PieceArrivals(late_then_sound.size(), {30}, 4 * kPieceWaitMs));
        Bytes buffer(kRequestBufferBytes);
        const MessageRead late = Read(link, buffer, deadlines);
        EXPECT_EQ(late.fault, ReadFault::BodyShort) << deadlines.what;
        EXPECT_EQ(late.failed_result, -1) << deadlines.what;
        EXPECT_EQ(late.missing, 46u) << deadlines.what;
        const MessageRead next = Read(link, buffer, deadlines);
        EXPECT_EQ(next.fault, ReadFault::None) << deadlines.what;
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(kSound.size())), kSound)
            << deadlines.what;
    }
}

// One byte every 10 ms keeps every piece within its wait; the read still ends at
// the reply time-out instead of lasting as long as the peer likes.
TEST(MessageReaderTest, DribbledReplyEndsAtTheTimeOut) {
    const Bytes reply = test::GwMessage(kGwReplyBit | kOpPoll, 0, Pattern(380));
    std::vector<size_t> cuts;
    for (size_t at = kGwHeaderBytes; at < reply.size(); ++at) {
        cuts.push_back(at);
    }
    ScriptedLink link(reply, PieceArrivals(reply.size(), cuts, 10));
    Bytes buffer(kRequestBufferBytes);
    const MessageRead read = ReadGwMessage(link, buffer.data(), buffer.size(), 300, 300);
    EXPECT_EQ(read.fault, ReadFault::BodyShort);
    EXPECT_EQ(read.failed_result, -1);
    EXPECT_EQ(link.NowMs(), 300);
    EXPECT_FALSE(link.WaitedNegative());
}

}  // namespace
}  // namespace krogw
