// The socket primitives over real loopback connections: whole messages, messages in
// pieces, refused lengths, time-outs and partial sends.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "gateway/frame.h"
#include "gateway/socket_io.h"
#include "platform/wait_split.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/raw_socket.h"
#include "tests/support/scripted_gateway.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"

namespace krogw {
namespace {

using test::Bytes;
using test::Delivery;
using test::GwMessage;
using test::Logged;
using test::LogText;

// A driver-side socket connected to a peer socket.
// Small kernel buffers make large sends go out in part.
struct Link {
    explicit Link(const char* address, int buffer_bytes = 0) : listener(address, 0, buffer_bytes) {
        driver = test::ConnectLikeDriver(address, listener.port());
        if (buffer_bytes > 0) {
            test::LimitSendBuffer(driver, buffer_bytes);
        }
        peer = listener.Accept(2000);
    }
    ~Link() {
        for (const PlatformSocket socket : {driver, peer}) {
            if (socket != 0) {
                PlatformSocketClose(socket);
            }
        }
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    test::LoopbackListener listener;
    PlatformSocket driver = 0;
    PlatformSocket peer = 0;
};

// Delivers in the background, as a gateway would while the driver reads.
class Sender {
  public:
    Sender(PlatformSocket socket, Delivery delivery)
        : thread_([socket, delivery = std::move(delivery)] { test::Deliver(socket, delivery); }) {}
    ~Sender() { thread_.join(); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

  private:
    std::thread thread_;
};

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return bytes;
}

const Bytes kSound = GwMessage(kGwReplyBit | kOpPoll, 0, Pattern(40));

class SocketIoTest : public test::GatewayFixture {
  protected:
    enum class Kind { Reply, Unsolicited };

    bool Read(Kind kind, PlatformSocket socket, uint8_t* buffer, size_t capacity) {
        return kind == Kind::Reply ? GwRecvReply(socket, buffer, capacity, *context_, kOpPoll)
                                   : GwRecvUnsolicited(socket, buffer, capacity, *context_);
    }

    // Reads a message that must be kSound.
    void ExpectSound(Kind kind, PlatformSocket socket) {
        Bytes buffer(kRequestBufferBytes);
        ASSERT_TRUE(Read(kind, socket, buffer.data(), buffer.size())) << LogText();
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(kSound.size())), kSound);
    }
};

TEST_F(SocketIoTest, MessageOfExactlyAHeader) {
    Link link(test::TestAddress(41, 1));
    Bytes message = GwMessage(kOpBurstReport, 0);
    message.resize(kGwHeaderBytes);
    PutU16(message.data() + kGwTotalLengthOffset, kGwHeaderBytes);
    Bytes both = message;
    both.insert(both.end(), kSound.begin(), kSound.end());
    for (const Kind kind : {Kind::Reply, Kind::Unsolicited}) {
        ASSERT_TRUE(test::Deliver(link.peer, {both, {}, 0}));
        Bytes buffer(kRequestBufferBytes, 0xEE);
        ASSERT_TRUE(Read(kind, link.driver, buffer.data(), buffer.size()));
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 20), message);
        EXPECT_EQ(buffer[20], 0xEE) << "no body read";
        ExpectSound(kind, link.driver);
    }
}

// The rest of the late message is taken off the channel, and the message after it is
// read as sent, not read from the middle of the first.
TEST_F(SocketIoTest, RemainderLaterThanThePieceWaitFailsTheReadAndIsSkipped) {
    const struct {
        Kind kind;
        const char* address;
        std::string line;
    } cases[] = {
        {Kind::Reply, test::TestAddress(41, 3), "KroGW : Fail to recv ALL msg,rc=-1,len=46"},
        {Kind::Unsolicited, test::TestAddress(41, 4), "KroGW : Fail to recv all msg,rc=-1,len=46"},
    };
    for (const auto& c : cases) {
        hostsim::ClearLog();
        Link link(c.address);
        Bytes late_then_sound = kSound;
        late_then_sound.insert(late_then_sound.end(), kSound.begin(), kSound.end());
        Sender sender(link.peer, {late_then_sound, {30}, 4 * kPieceWaitMs});
        Bytes buffer(kRequestBufferBytes);
        EXPECT_FALSE(Read(c.kind, link.driver, buffer.data(), buffer.size()));
        EXPECT_EQ(Logged(kLogTrace, c.line), 1) << LogText();
        ExpectSound(c.kind, link.driver);
    }
}

// Closed or reset, the read ends at once rather than at the reply time-out.
TEST_F(SocketIoTest, PeerClosingOrResettingFailsTheHeader) {
    const struct {
        Kind kind;
        const char* address;
        bool reset;
        const char* line;
    } cases[] = {
        {Kind::Reply, test::TestAddress(41, 5), false, "KroGW : Fail to recv normal header"},
        {Kind::Unsolicited, test::TestAddress(41, 6), false, "KroGW : Fail to recv Unsol header "},
        {Kind::Reply, test::TestAddress(88, 12), true, "KroGW : Fail to recv normal header"},
    };
    context_->sync_reply_timeout = 5000;
    for (const auto& c : cases) {
        hostsim::ClearLog();
        Link link(c.address);
        if (c.reset) {
            PlatformSocketSetLingerZero(link.peer);
            PlatformSocketClose(link.peer);
            link.peer = 0;
        } else {
            PlatformSocketShutdown(link.peer);
        }
        Bytes buffer(kRequestBufferBytes);
        const int64_t start = PlatformMonotonicMs();
        EXPECT_FALSE(Read(c.kind, link.driver, buffer.data(), buffer.size()));
        EXPECT_LT(PlatformMonotonicMs() - start, 2500);
        EXPECT_EQ(Logged(kLogTrace, c.line), 1) << LogText();
    }
}

// The thread loops call the unsolicited read back to back: on a channel the gateway
// ended, each call still waits its turn, or the loops spin and flood the log.
TEST_F(SocketIoTest, UnsolicitedReadOnAnEndedChannelKeepsThePace) {
    Link link(test::TestAddress(41, 15));
    PlatformSocketShutdown(link.peer);
    Bytes buffer(kThreadBufferBytes);
    constexpr int kReads = 6;
    const int64_t start = PlatformMonotonicMs();
    for (int read = 0; read < kReads; ++read) {
        EXPECT_FALSE(Read(Kind::Unsolicited, link.driver, buffer.data(), buffer.size()));
    }
    EXPECT_GE(PlatformMonotonicMs() - start, (kReads - 1) * kUnsolicitedWaitMs);
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Fail to recv Unsol header "), kReads) << LogText();
}

TEST_F(SocketIoTest, OversizedMessageIsReadOffAndRefused) {
    Link link(test::TestAddress(41, 7));
    const struct {
        Kind kind;
        size_t capacity;
        size_t total;
    } cases[] = {
        {Kind::Reply, kRequestBufferBytes, kRequestBufferBytes + 1},
        {Kind::Unsolicited, kThreadBufferBytes, kThreadBufferBytes + 1},
        {Kind::Unsolicited, kThreadBufferBytes, 65535},
    };
    constexpr size_t kGuard = 64;
    for (const auto& c : cases) {
        hostsim::ClearLog();
        Bytes oversized = GwMessage(kOpBurstReport, 0, Pattern(c.total - kGwBodyOffset));
        oversized.insert(oversized.end(), kSound.begin(), kSound.end());
        Sender sender(link.peer, {oversized, {4000}, 10});
        Bytes buffer(c.capacity + kGuard, 0xEE);
        EXPECT_FALSE(Read(c.kind, link.driver, buffer.data(), c.capacity));
        EXPECT_EQ(Bytes(buffer.end() - kGuard, buffer.end()), Bytes(kGuard, 0xEE))
            << "nothing written past the buffer";
        const std::string line = "KroGW : Msg of " + std::to_string(c.total) +
                                 " bytes refused, buffer holds " + std::to_string(c.capacity);
        EXPECT_EQ(Logged(kLogTrace, line), 1) << LogText();
        ExpectSound(c.kind, link.driver);
    }
}

// A header that cannot start a message leaves the channel out of step: what it
// holds is drained, and the next message sent is read whole.
TEST_F(SocketIoTest, UnsoundHeaderIsRefusedAndTheChannelDrained) {
    Link link(test::TestAddress(41, 8));
    const struct {
        uint16_t head_mark;
        uint16_t total;
        std::string line;
    } cases[] = {
        {1, 0, "KroGW : Bad msg length 0"},
        {1, 19, "KroGW : Bad msg length 19"},
        {0, 48, "KroGW : Bad msg head mark, msg refused"},
        {0x0101, 36, "KroGW : Bad msg head mark, msg refused"},
    };
    for (const auto& c : cases) {
        hostsim::ClearLog();
        Bytes unsound = GwMessage(kOpBurstReport, 0, Pattern(12));
        PutU16(unsound.data(), c.head_mark);
        PutU16(unsound.data() + kGwTotalLengthOffset, c.total);
        unsound.insert(unsound.end(), kSound.begin(), kSound.end());
        ASSERT_TRUE(test::Deliver(link.peer, {unsound, {}, 0}));
        ASSERT_TRUE(test::WaitFor([&] {
            return test::ReadableBytes(link.driver) == unsound.size();
        })) << "all of it has arrived";
        Bytes buffer(kRequestBufferBytes);
        EXPECT_FALSE(GwRecvReply(link.driver, buffer.data(), buffer.size(), *context_, kOpPoll));
        EXPECT_EQ(Logged(kLogTrace, c.line), 1) << LogText();
        EXPECT_EQ(PlatformSocketWaitReadable(link.driver, 0), 0) << "drained";
        ASSERT_TRUE(test::Deliver(link.peer, {kSound, {}, 0}));
        ExpectSound(Kind::Reply, link.driver);
    }
}

// A reply to another request is a late one; the wait for this one goes on.
TEST_F(SocketIoTest, ReplyToAnotherRequestIsDiscarded) {
    Link link(test::TestAddress(88, 11));
    Bytes stale_then_sound = GwMessage(kGwReplyBit | kOpGatewayStatus, 0, {0, 0, 0, 5});
    stale_then_sound.insert(stale_then_sound.end(), kSound.begin(), kSound.end());
    Sender sender(link.peer, {stale_then_sound, {40}, 100});
    ExpectSound(Kind::Reply, link.driver);
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Discard reply 80000009, waiting for 80000101"), 1)
        << LogText();
}

TEST_F(SocketIoTest, WaitsEndSilently) {
    Link link(test::TestAddress(41, 9));
    Bytes buffer(kRequestBufferBytes);
    context_->sync_reply_timeout = 300;
    int64_t start = PlatformMonotonicMs();
    EXPECT_FALSE(GwRecvReply(link.driver, buffer.data(), buffer.size(), *context_, kOpPoll));
    int64_t waited = PlatformMonotonicMs() - start;
    EXPECT_GE(waited, 290);
    EXPECT_LT(waited, 2000);

    start = PlatformMonotonicMs();
    EXPECT_FALSE(GwRecvUnsolicited(link.driver, buffer.data(), buffer.size(), *context_));
    waited = PlatformMonotonicMs() - start;
    EXPECT_GE(waited, kUnsolicitedWaitMs - 10);
    EXPECT_LT(waited, 1000);

    start = PlatformMonotonicMs();
    GwFlush(link.driver, buffer.data(), buffer.size());
    EXPECT_LT(PlatformMonotonicMs() - start, 500);
    EXPECT_TRUE(hostsim::LogLines().empty()) << LogText();

    // A handle of 0 is a channel that is not open.
    EXPECT_FALSE(GwRecvReply(0, buffer.data(), buffer.size(), *context_, kOpPoll));
    EXPECT_FALSE(GwRecvUnsolicited(0, buffer.data(), buffer.size(), *context_));
    GwFlush(0, buffer.data(), buffer.size());
    EXPECT_TRUE(hostsim::LogLines().empty()) << LogText();
}

TEST_F(SocketIoTest, ReplyWaitsForALateAnswerWithinTheTimeOut) {
    Link link(test::TestAddress(41, 10));
    context_->sync_reply_timeout = 3000;
    Sender sender(link.peer, {kSound, {0}, 300});
    const int64_t start = PlatformMonotonicMs();
    ExpectSound(Kind::Reply, link.driver);
    EXPECT_GE(PlatformMonotonicMs() - start, 250);
}

TEST(SelectWaitTest, MillisecondsSplitIntoSecondsAndMicroseconds) {
    const struct {
        int32_t ms;
        int32_t seconds;
        int32_t microseconds;
    } cases[] = {{3000, 3, 0}, {12345, 12, 345000}, {50, 0, 50000}, {1, 0, 1000}, {0, 0, 0}};
    for (const auto& c : cases) {
        const SelectWait wait = SplitWaitMs(c.ms);
        EXPECT_EQ(wait.seconds, c.seconds) << c.ms;
        EXPECT_EQ(wait.microseconds, c.microseconds) << c.ms;
    }
}

TEST_F(SocketIoTest, FlushDiscardsWhatIsWaiting) {
    Link link(test::TestAddress(41, 11));
    ASSERT_TRUE(test::Deliver(link.peer, {Pattern(100), {}, 0}));
    ASSERT_TRUE(test::WaitFor([&] { return test::ReadableBytes(link.driver) == 100; }));
    Bytes scratch(kFlushBufferBytes);
    GwFlush(link.driver, scratch.data(), scratch.size());
    ASSERT_TRUE(test::Deliver(link.peer, {kSound, {}, 0}));
    ExpectSound(Kind::Unsolicited, link.driver);
}

TEST_F(SocketIoTest, SendRefusesHandleZeroAndReportsAFailedSend) {
    Link link(test::TestAddress(41, 12));
    const Bytes request = GwMessage(kOpGatewayStatus, 0);
    EXPECT_FALSE(GwSend(0, request.data(), request.size(), *context_));
    EXPECT_TRUE(hostsim::LogLines().empty()) << LogText();

    ASSERT_TRUE(GwSend(link.driver, request.data(), request.size(), *context_));
    EXPECT_EQ(test::ReadMessage(link.peer, 2000), request);

    PlatformSocketShutdown(link.driver);
    EXPECT_FALSE(GwSend(link.driver, request.data(), request.size(), *context_));
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Fail to send command 9"), 1) << LogText();

    // A header claiming more than the buffer holds is not sent.
    hostsim::ClearLog();
    const Bytes set_mode = GwMessage(kOpSetMode, 0, {1});
    EXPECT_FALSE(GwSend(link.driver, set_mode.data(), set_mode.size() - 1, *context_));
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Fail to send command 8"), 1) << LogText();
}

// Receives `count` bytes in small reads with pauses, so that a sender must wait.
Bytes ReadSlowly(PlatformSocket socket, size_t count) {
    Bytes received;
    Bytes piece(2048);
    while (received.size() < count) {
        if (PlatformSocketWaitReadable(socket, 2000) != 1) {
            break;
        }
        const int got = PlatformSocketRecv(socket, piece.data(), static_cast<int>(piece.size()));
        if (got <= 0) {
            break;
        }
        received.insert(received.end(), piece.begin(), piece.begin() + got);
        PlatformSleepMs(1);
    }
    return received;
}

constexpr int kSmallKernelBuffer = 4096;
const Bytes kLargeRequest = GwMessage(kOpSendData, 0, Pattern(60000));

TEST_F(SocketIoTest, SendTakenInPartIsCompleted) {
    Link link(test::TestAddress(41, 13), kSmallKernelBuffer);
    Bytes arrived;
    std::thread reader([&] { arrived = ReadSlowly(link.peer, kLargeRequest.size()); });
    EXPECT_TRUE(GwSend(link.driver, kLargeRequest.data(), kLargeRequest.size(), *context_))
        << LogText();
    reader.join();
    EXPECT_EQ(arrived, kLargeRequest);
}

// Half a request on the wire would make the gateway read the next one as its rest:
// the connection is shut down instead, and the next exchange on it fails at once.
TEST_F(SocketIoTest, SendThatCannotCompleteShutsTheChannelDown) {
    Link link(test::TestAddress(41, 14), kSmallKernelBuffer);
    context_->sync_reply_timeout = 300;
    const int64_t start = PlatformMonotonicMs();
    EXPECT_FALSE(GwSend(link.driver, kLargeRequest.data(), kLargeRequest.size(), *context_));
    const int64_t waited = PlatformMonotonicMs() - start;
    EXPECT_GE(waited, 290);
    EXPECT_LT(waited, 3000);
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Fail to send command 102"), 1) << LogText();

    const Bytes request = GwMessage(kOpSendCommand, 0, Pattern(8));
    const int64_t again = PlatformMonotonicMs();
    EXPECT_FALSE(GwSend(link.driver, request.data(), request.size(), *context_));
    EXPECT_LT(PlatformMonotonicMs() - again, 200);
    // The gateway sees the part that went out, then the connection's end: nothing
    // that a later request could complete.
    const Bytes arrived = ReadSlowly(link.peer, kLargeRequest.size());
    EXPECT_LT(arrived.size(), kLargeRequest.size());
    EXPECT_EQ(arrived, Bytes(kLargeRequest.begin(),
                             kLargeRequest.begin() + static_cast<long>(arrived.size())));
}

// A peer that resets the connection fails a scripted delivery, soon.
TEST_F(SocketIoTest, DeliveryToAResetPeerFails) {
    Link link(test::TestAddress(88, 13), kSmallKernelBuffer);
    PlatformSocketClose(link.driver);
    link.driver = 0;
    const int64_t start = PlatformMonotonicMs();
    EXPECT_FALSE(test::Deliver(link.peer, {kLargeRequest, {100}, 10}));
    EXPECT_LT(PlatformMonotonicMs() - start, 5000);
}

}  // namespace
}  // namespace krogw
