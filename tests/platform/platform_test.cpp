// The platform layer over real loopback sockets and real threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>
#endif

namespace krogw {
namespace {

class PlatformTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(PlatformNetStart(), 0); }
};

// Opens, connects (twice, as the driver does) and returns a socket to the listener.
PlatformSocket ConnectTo(const test::LoopbackListener& listener) {
    const PlatformSocket socket = PlatformSocketOpen();
    EXPECT_GT(socket, 0);
    EXPECT_TRUE(PlatformSocketSetLingerZero(socket));
    EXPECT_TRUE(PlatformSocketSetNonBlocking(socket));
    PlatformSocketConnect(socket, listener.address(), listener.port());
    PlatformSocketWaitWritable(socket, 2000);  // the connection is made
    const ConnectOutcome second =
        PlatformSocketConnect(socket, listener.address(), listener.port());
    EXPECT_TRUE(second == ConnectOutcome::Connected || second == ConnectOutcome::AlreadyConnected);
    return socket;
}

TEST_F(PlatformTest, NonBlockingConnectCompletesAndMovesBytes) {
    test::LoopbackListener listener(test::TestAddress(3, 1));
    const PlatformSocket client = ConnectTo(listener);
    const PlatformSocket server = listener.Accept(2000);
    ASSERT_GT(server, 0);

    // Nothing has arrived yet: a non-blocking receive fails at once.
    char buffer[16];
    EXPECT_EQ(PlatformSocketRecv(client, buffer, sizeof buffer), kSocketWouldBlock);
    EXPECT_EQ(PlatformSocketWaitReadable(client, 20), 0);

    ASSERT_EQ(PlatformSocketSend(server, "hello", 5), 5);
    EXPECT_EQ(PlatformSocketWaitReadable(client, 2000), 1);
    ASSERT_EQ(PlatformSocketRecv(client, buffer, sizeof buffer), 5);
    EXPECT_EQ(std::memcmp(buffer, "hello", 5), 0);
    EXPECT_EQ(PlatformSocketWaitWritable(client, 100), 1);

    // The peer going away reads as end of stream, and never raises a signal on send.
    PlatformSocketShutdown(server);
    PlatformSocketClose(server);
    ASSERT_EQ(PlatformSocketWaitReadable(client, 2000), 1);
    EXPECT_EQ(PlatformSocketRecv(client, buffer, sizeof buffer), 0);
    PlatformSocketSend(client, "x", 1);
    PlatformSocketClose(client);
}

TEST_F(PlatformTest, RefusedOrMalformedAddressesFail) {
    const PlatformSocket socket = PlatformSocketOpen();
    ASSERT_GT(socket, 0);
    ASSERT_TRUE(PlatformSocketSetNonBlocking(socket));
    EXPECT_EQ(PlatformSocketConnect(socket, "10.1.1", 5001), ConnectOutcome::Failed);
    EXPECT_EQ(PlatformSocketConnect(socket, "not an address", 5001), ConnectOutcome::Failed);
    EXPECT_EQ(PlatformSocketConnect(socket, nullptr, 5001), ConnectOutcome::Failed);
    PlatformSocketClose(socket);

    // Nobody listens on this loopback address and port.
    const PlatformSocket refused = PlatformSocketOpen();
    ASSERT_TRUE(PlatformSocketSetNonBlocking(refused));
    PlatformSocketConnect(refused, test::TestAddress(3, 2), 5001);
    PlatformSocketWaitWritable(refused, 2000);  // the refusal has come
    EXPECT_EQ(PlatformSocketConnect(refused, test::TestAddress(3, 2), 5001),
              ConnectOutcome::Failed);
    PlatformSocketClose(refused);
}

TEST_F(PlatformTest, ReadableWaitLastsItsTimeOut) {
    test::LoopbackListener listener(test::TestAddress(3, 3));
    const PlatformSocket client = ConnectTo(listener);
    const int64_t start = PlatformMonotonicMs();
    EXPECT_EQ(PlatformSocketWaitReadable(client, 150), 0);
    const int64_t waited = PlatformMonotonicMs() - start;
    EXPECT_GE(waited, 140);
    EXPECT_LT(waited, 1000);
    PlatformSocketClose(client);
}

#if !defined(_WIN32)
TEST_F(PlatformTest, SocketHandleIsNeverZero) {
    const int saved_stdin = dup(0);
    ASSERT_GE(saved_stdin, 0);
    close(0);  // the next descriptor the system hands out would be 0
    const PlatformSocket socket = PlatformSocketOpen();
    EXPECT_GT(socket, 0);
    PlatformSocketClose(socket);
    dup2(saved_stdin, 0);
    close(saved_stdin);
}
#endif

// What a driver thread may use of a stack asked for with 32 KiB: on Windows that is a
// reservation, on POSIX the stack is given a floor that holds far more.
#if defined(_WIN32)
constexpr size_t kProbeStackBytes = 16384;
#else
constexpr size_t kProbeStackBytes = size_t{160} * 1024;
#endif

struct ThreadProbe {
    std::atomic<int> runs{0};
    char stack_marker[4096];
};

void ProbeBody(void* arg) {
    auto* probe = static_cast<ThreadProbe*>(arg);
    // Use a good part of a 32 KiB stack, as the driver's threads may.
    volatile char scratch[kProbeStackBytes];
    for (size_t i = 0; i < sizeof scratch; i += 512) {
        scratch[i] = static_cast<char>(i);
    }
    probe->stack_marker[0] = scratch[512];
    probe->runs.fetch_add(1);
}

TEST_F(PlatformTest, ThreadRunsOnASmallStack) {
    ThreadProbe probe;
    ASSERT_TRUE(PlatformThreadStart(ProbeBody, &probe, 32768));
    test::WaitFor([&] { return probe.runs.load() != 0; });
    EXPECT_EQ(probe.runs.load(), 1);
}

TEST_F(PlatformTest, SocketsAreNotInheritedByChildProcesses) {
    const PlatformSocket socket = PlatformSocketOpen();
    ASSERT_GT(socket, 0);
#if defined(_WIN32)
    DWORD flags = 0;
    ASSERT_TRUE(
        GetHandleInformation(reinterpret_cast<HANDLE>(static_cast<SOCKET>(socket)), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
#else
    EXPECT_NE(fcntl(socket, F_GETFD) & FD_CLOEXEC, 0);
#endif
    PlatformSocketClose(socket);
}

TEST_F(PlatformTest, BrokenConnectionsEndWaitsAndTransfersAtOnce) {
    test::LoopbackListener listener(test::TestAddress(88, 1));
    const PlatformSocket client = ConnectTo(listener);
    const PlatformSocket server = listener.Accept(2000);
    ASSERT_GT(server, 0);
    char buffer[16];
    EXPECT_EQ(PlatformSocketRecv(client, buffer, sizeof buffer), kSocketWouldBlock);

    // The peer resets the connection (linger 0): readiness is reported, and the
    // receive says the connection has ended rather than "nothing yet" (a reset, or
    // under wine an end of stream).
    ASSERT_TRUE(PlatformSocketSetLingerZero(server));
    PlatformSocketClose(server);
    ASSERT_NE(PlatformSocketWaitReadable(client, 2000), 0);
    const int received = PlatformSocketRecv(client, buffer, sizeof buffer);
    EXPECT_TRUE(received == kSocketError || received == 0) << received;
    PlatformSocketSend(client, "x", 1);
    EXPECT_EQ(PlatformSocketSend(client, "x", 1), kSocketError);
    PlatformSocketClose(client);

    // A handle that is no longer open is never ready.
    const int64_t start = PlatformMonotonicMs();
    EXPECT_EQ(PlatformSocketWaitReadable(client, 2000), -1);
    EXPECT_LT(PlatformMonotonicMs() - start, 1000);
}

#if !defined(_WIN32)
void IgnoreSignal(int /*signal*/) {}

// Interrupts the waiting thread with SIGUSR1 every few milliseconds until stopped.
// The handler stays installed: a sanitizer may deliver a signal late.
class SignalRain {
  public:
    explicit SignalRain(pthread_t target) {
        struct sigaction action {};
        action.sa_handler = IgnoreSignal;  // no SA_RESTART: poll() returns EINTR
        sigaction(SIGUSR1, &action, nullptr);
        thread_ = std::thread([this, target] {
            while (!stop_.load()) {
                pthread_kill(target, SIGUSR1);
                PlatformSleepMs(5);
            }
        });
    }
    ~SignalRain() {
        stop_ = true;
        thread_.join();
    }
    SignalRain(const SignalRain&) = delete;
    SignalRain& operator=(const SignalRain&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(PlatformTest, SignalsDoNotCutAWaitShort) {
    test::LoopbackListener listener(test::TestAddress(88, 2));
    const PlatformSocket client = ConnectTo(listener);
    const PlatformSocket server = listener.Accept(2000);
    ASSERT_GT(server, 0);
    {
        SignalRain rain(pthread_self());
        const int64_t start = PlatformMonotonicMs();
        EXPECT_EQ(PlatformSocketWaitReadable(client, 200), 0);
        EXPECT_GE(PlatformMonotonicMs() - start, 190);

        std::thread answer([server] {
            PlatformSleepMs(150);
            PlatformSocketSend(server, "late", 4);
        });
        EXPECT_EQ(PlatformSocketWaitReadable(client, 3000), 1);
        answer.join();
    }
    PlatformSocketClose(server);
    PlatformSocketClose(client);
}
#endif

TEST_F(PlatformTest, SleepWaitsAtLeastItsTime) {
    const int64_t start = PlatformMonotonicMs();
    PlatformSleepMs(50);
    const int64_t slept = PlatformMonotonicMs() - start;
    EXPECT_GE(slept, 49);
    EXPECT_LT(slept, 1000);
}

TEST_F(PlatformTest, LocalTimeIsACoherentCalendarDate) {
    const PlatformTime now = PlatformLocalTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_LE(now.milliseconds, 999);
    // The weekday must agree with the date it comes with.
    tm date{};
    date.tm_year = now.year - 1900;
    date.tm_mon = now.month - 1;
    date.tm_mday = now.day;
    date.tm_hour = 12;
    date.tm_isdst = -1;
    ASSERT_NE(std::mktime(&date), static_cast<time_t>(-1));
    EXPECT_EQ(date.tm_wday, now.day_of_week);
    EXPECT_LE(now.hour, 23);
    EXPECT_LE(now.minute, 59);
    EXPECT_LE(now.second, 60);
}

}  // namespace
}  // namespace krogw
