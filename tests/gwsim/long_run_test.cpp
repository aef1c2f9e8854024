// What a simulator left running for days must survive: a client that stops reading,
// hundreds of thousands of requests, and a system clock outside the years a stamp holds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/gwsim/gw_client.h"
#include "tests/support/test_net.h"
#include "tools/gwsim/gwsim.h"
#include "tools/gwsim/handlers.h"

namespace gwsim::test {
namespace {

using namespace std::chrono_literals;

class LogLines {
  public:
    LogSink Sink() {
        return [this](const std::string& line) {
            const std::lock_guard lock(mutex_);
            lines_.push_back(line);
        };
    }
    bool Contains(const std::string& part) {
        const std::lock_guard lock(mutex_);
        for (const std::string& line : lines_) {
            if (line.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFreedMemoryIsReused = false;  // held back in the sanitizer's quarantine
#else
constexpr bool kFreedMemoryIsReused = true;
#endif

// Resident memory of this process in kilobytes.
long ResidentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

TEST(GwsimLongRun, ClientThatStopsReadingIsDroppedWithALogLine) {
    LogLines log;
    Options options{krogw::test::TestAddress(160, 1), krogw::kGatewayPort, log.Sink()};
    options.max_queued_bytes = 64 * 1024;
    Gateway gw(options);
    gw.DefineTableType(1, ParseTableType("3,3,3,3,3,3,3,3,0"));
    gw.DefineTable(7, 5, 1, 200);
    gw.Start();
    GwClient client(krogw::test::TestAddress(160, 1));
    ASSERT_NE(client.OpenChannel(kBurstChannelType), 0);

    // The client never reads: socket buffers fill, then the queue, then the gateway gives up.
    const BurstReport report{BurstSection::Rows(7, 5, 0, 200)};
    const auto give_up = std::chrono::steady_clock::now() + 30s;
    int sent = 0;
    while (gw.SendBurst(report) == 1 && std::chrono::steady_clock::now() < give_up) {
        ++sent;
    }
    EXPECT_TRUE(log.Contains("the client is not reading; dropping the connection"));
    EXPECT_GT(sent, 0);
    const auto closed_by = std::chrono::steady_clock::now() + 2s;
    while (gw.Channels().at(0).open && std::chrono::steady_clock::now() < closed_by) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(gw.Channels().at(0).open) << "the dropped connection's channel";
}

TEST(GwsimLongRun, MemoryStaysFlatOverTwoHundredThousandRequests) {
    constexpr size_t kRecorded = 1000;
    constexpr int kBatch = 500;
    constexpr int kBatches = 400;
    Options options{krogw::test::TestAddress(160, 2), krogw::kGatewayPort, {}};
    options.recorded_requests = kRecorded;
    Gateway gw(options);
    gw.Start();
    GwClient client(krogw::test::TestAddress(160, 2));
    const uint16_t id = client.OpenChannel(0);
    ASSERT_NE(id, 0);

    long warm_kb = 0;
    for (int batch = 0; batch < kBatches; ++batch) {
        Bytes requests;
        for (int i = 0; i < kBatch; ++i) {
            const Bytes one =
                Message(krogw::kOpGatewayStatus, id, {}, static_cast<uint16_t>(batch * kBatch + i));
            requests.insert(requests.end(), one.begin(), one.end());
        }
        client.Send(requests);
        for (int i = 0; i < kBatch; ++i) {
            ASSERT_TRUE(client.Receive()) << "batch " << batch;
        }
        if (batch == 4) {
            warm_kb = ResidentKilobytes();  // the ring is full and every slot has its buffer
        }
    }
    const size_t total = static_cast<size_t>(kBatch) * kBatches;
    EXPECT_EQ(gw.CountRequests(krogw::kOpGatewayStatus), total);
    const std::vector<RecordedRequest> latest = gw.Requests();
    ASSERT_EQ(latest.size(), kRecorded);
    EXPECT_EQ(gw.RequestsFallenOut(), total + 1 - kRecorded) << "with the open-channel request";
    EXPECT_EQ(FrameOf(latest.back().bytes).command.aux_word, static_cast<uint16_t>(total - 1));
    // Kept without a record these would take over 20 MB.
    if (kFreedMemoryIsReused) {
        EXPECT_LT(ResidentKilobytes() - warm_kb, 4 * 1024);
    }

    // The last request is still there; the first has fallen out and is not waited for.
    EXPECT_TRUE(gw.WaitForRequest(krogw::kOpGatewayStatus, 1s, total - 1));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(gw.WaitForRequest(krogw::kOpGatewayStatus, 5s, 0));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
}

TEST(GwsimLongRun, StampsOutsideTheWireYearsAreClampedAndLogged) {
    LogLines log;
    GatewayState state;
    state.log = log.Sink();
    state.model.DefineTableType(1, ParseTableType("2,4,1,0"));
    state.model.DefineTable(7, 5, 1, 2);
    // What a system clock set to 1969 or 2100 leaves as the stamps of new values.
    RtuTable& table = state.model.GetTable(7, 5);
    table.stamps[0] = {1969, 12, 31, 23, 0, 0, 0};
    table.stamps[1] = {2100, 6, 1, 12, 0, 0, 0};

    const Bytes poll = Message(krogw::kOpPoll, 0x101, RangeBody(7, 5, 0, 2, 0, 3), 1);
    const auto reply = HandleRequest(state, Request{1, poll, FrameOf(poll)});
    ASSERT_TRUE(reply);
    EXPECT_EQ(FrameOf(*reply).command.result_code, kResultOk);
    // Each row: column 0 (2 bytes), then day, month, year, hour, minute, second, ms.
    EXPECT_EQ(Tail(*reply, krogw::kGwBodyOffset + 16),
              (Bytes{0, 0, 1,  1,  70, 0,  0,  0,  0,    0,  //
                     0, 0, 31, 12, 69, 23, 59, 59, 0x03, 0xE7}));
    EXPECT_TRUE(log.Contains("2 time stamps outside the years 1970-2069"));
}

}  // namespace
}  // namespace gwsim::test
