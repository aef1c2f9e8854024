// Many switch-overs and reconnects, in a random order, while the gateways stop, come
// back and refuse connections, and while two threads use the active set as the burst
// and command threads do. The seed is printed; KROGW_SOAK_SEED repeats a run.
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include "context/turn_queue.h"
#include "driver/gate_io.h"
#include "exchange/commands.h"
#include "exchange/threads.h"
#include "gateway/hot_backup.h"
#include "gateway/requests.h"
#include "gateway/socket_io.h"
#include "gateway/status.h"
#include "tests/e2e/hot_backup_fixture.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRounds = 200;
constexpr uint16_t kRtu = 7;
constexpr uint8_t kTable = 3;
constexpr int kPoints = 4;  // rows 0..3 of column 1
// A counter taken below 0 would wrap round to near 65535.
constexpr int kWrapped = 0x8000;

int OpenDescriptors() {
    int count = 0;
    DIR* directory = opendir("/proc/self/fd");
    if (directory == nullptr) {
        return -1;
    }
    while (readdir(directory) != nullptr) {
        ++count;
    }
    closedir(directory);
    return count;
}

// Gateway connections end on the simulator's side a little after the driver closes
// its end; a leaked socket keeps both ends open for good.
bool DescriptorsReturnTo(int baseline) {
    for (int waited = 0; waited < 3000; waited += 10) {
        if (OpenDescriptors() == baseline) {
            return true;
        }
        PlatformSleepMs(10);
    }
    return false;
}

uint32_t Seed() {
    if (const char* text = std::getenv("KROGW_SOAK_SEED")) {
        return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
    }
    return std::random_device{}();
}

// A driver-side gateway socket: an open IPv4 stream socket whose peer is port 5001.
bool IsGatewaySocket(PlatformSocket socket) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return errno == ENOTCONN;  // reset by the gateway, still ours until closed
    }
    return peer.sin_family == AF_INET && ntohs(peer.sin_port) == kGatewayPort;
}

// Stops and joins a helper thread however the test body ends, so that a failed
// assertion fails the test instead of ending the program.
class JoinedThread {
  public:
    JoinedThread(std::atomic<bool>& stop, std::function<void()> body)
        : stop_(stop), thread_(std::move(body)) {}
    ~JoinedThread() { Join(); }
    JoinedThread(const JoinedThread&) = delete;
    JoinedThread& operator=(const JoinedThread&) = delete;

    void Join() {
        stop_.store(true);
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    std::atomic<bool>& stop_;
    std::thread thread_;
};

class HotBackupSoakTest : public HotBackupFixture {
  protected:
    // Reads the active burst channel in 50 ms turns and sends on the active sync
    // channel, each under a lease, as the two threads will.
    void UseTheActiveSet() {
        uint8_t buffer[kThreadBufferBytes];
        while (!stop_.load()) {
            for (const ActiveChannel channel : {ActiveChannel::Burst, ActiveChannel::Sync}) {
                const SocketLease lease(*context_, ActiveSlot(*context_, channel));
                if (lease.socket() == 0) {
                    continue;
                }
                leased_.fetch_add(1);
                if (!IsGatewaySocket(lease.socket())) {
                    foreign_.fetch_add(1);
                }
                // The sync channel only in its turn, as the command thread reads it.
                std::optional<QueuedTurn> turn;
                if (channel == ActiveChannel::Sync &&
                    !turn.emplace(context_->command_busy, kUnsolicitedWaitMs).taken()) {
                    continue;
                }
                GwRecvUnsolicited(lease.socket(), buffer, sizeof buffer, *context_);
            }
            context_->polls_in_flight.fetch_add(1);  // a poll sent
            PlatformSleepMs(1);
        }
    }

    // The host writing the points in turn with rising values, as fast as it is answered.
    void Write() {
        uint32_t value = 0;
        while (!stop_writing_.load()) {
            ++value;
            const int row = static_cast<int>(value % kPoints);
            uint8_t buffer[4] = {};
            const uint32_t raw = value << 16;
            std::memcpy(buffer, &raw, sizeof raw);
            GateIoArguments write{};
            write.address =
                GateAddress{kRtu, TableElement, kTable * 4096 + 256 + row, kFixedWord, 16};
            write.element_count = 1;
            write.value_buffer = buffer;
            results_.push_back({value, RequestCommand(*context_, CommandWriteFromRequest(write))});
            PlatformSleepMs(2);
        }
    }

    // Every socket of the active set is one of the gateways' own.
    bool ActiveSetHoldsOnlyGatewaySockets() const {
        for (const ActiveChannel channel :
             {ActiveChannel::Status, ActiveChannel::Sync, ActiveChannel::Burst}) {
            const PlatformSocket socket = ActiveSlot(*context_, channel).load();
            if (socket == 0) {
                continue;
            }
            bool found = false;
            for (const uint8_t gateway : {kPrimaryGateway, kSecondaryGateway}) {
                SocketSet& slots = SocketsOf(*context_, gateway);
                found = found || socket == slots.status || socket == slots.sync ||
                        socket == slots.burst;
            }
            if (!found) {
                return false;
            }
        }
        return true;
    }

    struct Answer {
        uint32_t value;
        uint8_t result;
    };
    void ExpectEveryWriteAccountedFor(const gwsim::Gateway& primary,
                                      const gwsim::Gateway& secondary) const;

    std::atomic<bool> stop_{false};
    std::atomic<bool> stop_writing_{false};
    std::vector<Answer> results_;  // the writer's own until it is joined
    std::atomic<int> leased_{0};
    std::atomic<int> foreign_{0};
};

// Every write answered 0 reached a gateway, unless a line says it was dropped; each
// gateway took each point's values in the order written, and holds the last of them.
void HotBackupSoakTest::ExpectEveryWriteAccountedFor(const gwsim::Gateway& primary,
                                                     const gwsim::Gateway& secondary) const {
    std::map<uint32_t, const gwsim::Gateway*> reached;
    for (const gwsim::Gateway* gateway : {&primary, &secondary}) {
        ASSERT_EQ(gateway->RequestsFallenOut(), 0u);
        uint32_t newest[kPoints] = {};
        for (const gwsim::RecordedRequest& request : gateway->Requests()) {
            if (request.opcode != kOpSendCommand) {
                continue;
            }
            const uint32_t value = request.U16(52);
            const int row = request.U8(39);
            EXPECT_GT(value, newest[row]) << "row " << row << ": a write overtook another";
            newest[row] = value;
            reached[value] = gateway;
        }
    }
    // Lines of writes given up: one for each write answered 2, and one for each queued
    // write given up when its turn came.
    int dropped_lines = 0;
    for (const hostsim::LogLine& line : hostsim::LogLines()) {
        const bool dropped = line.text == "KroGW : Fail to send command" ||
                             line.text == "KroGW : WARNING !!! - Internal CMD buffer if Full" ||
                             line.text.rfind("KroGW : Channel ended before the write", 0) == 0;
        dropped_lines += dropped ? 1 : 0;
    }
    int told_done = 0;
    int not_done = 0;
    int done_but_missing = 0;
    std::map<int, uint32_t> last_reached;  // row: the newest value a gateway received
    for (const Answer& answer : results_) {
        EXPECT_TRUE(answer.result == 0 || answer.result == kResultFailed) << answer.value;
        told_done += answer.result == 0 ? 1 : 0;
        not_done += answer.result == kResultFailed ? 1 : 0;
        if (reached.count(answer.value) != 0) {
            last_reached[static_cast<int>(answer.value % kPoints)] = answer.value;
        } else if (answer.result == 0) {
            ++done_but_missing;
        }
    }
    std::cout << results_.size() << " writes, " << told_done << " answered done, "
              << done_but_missing << " of them not received, " << not_done << " answered 2, "
              << dropped_lines << " lines of writes given up" << std::endl;
    EXPECT_GT(told_done, 0);
    EXPECT_LE(done_but_missing, dropped_lines - not_done)
        << "a write answered done was lost without a line";
    for (const auto& [row, value] : last_reached) {
        EXPECT_EQ(reached[value]->Value(kRtu, kTable, row, 1), value) << "row " << row;
    }
}

TEST_F(HotBackupSoakTest, SwitchOversAndReconnectsWhileGatewaysFail) {
    const uint32_t seed = Seed();
    std::cout << "soak seed " << seed << " (KROGW_SOAK_SEED repeats it)" << std::endl;
    RecordProperty("seed", std::to_string(seed));
    std::mt19937 random(seed);
    hostsim::SetLogFilter(kLogError);
    context_->sync_reply_timeout = 200;

    gwsim::Options options;
    options.recorded_requests = 1 << 17;
    options.address = TestAddress(90, 11);
    gwsim::Gateway primary(options);
    options.address = TestAddress(90, 12);
    gwsim::Gateway secondary(options);
    for (gwsim::Gateway* gateway : {&primary, &secondary}) {
        gateway->DefineTableType(1, gwsim::ParseTableType("1,2,3,0"));
        gateway->DefineTable(kRtu, kTable, 1, kPoints);
        gateway->Start();
    }
    const int baseline = OpenDescriptors();
    Configure(TestAddress(90, 11), TestAddress(90, 12));
    ASSERT_TRUE(ConnectGateways(*context_)) << LogText();
    // Late confirmations hold the two slots, so that writes queue up across the changes.
    context_->cmd_response_time = 100;
    context_->cmd_buffer_length = 2;
    for (gwsim::Gateway* gateway : {&primary, &secondary}) {
        gateway->faults().DelayReply(kOpSendCommand, 300);
    }
    context_->sign_rtu_on_fail = 1;
    context_->rtu_state[kRtu] = RtuActive;
    ASSERT_EQ(QivMkClient("GateWay_No_12", 1, 0, &context_->client), 0);
    ASSERT_TRUE(PlatformThreadStart(CommandThread, context_.get(), 32768));
    JoinedThread user(stop_, [this] { UseTheActiveSet(); });
    JoinedThread writer(stop_writing_, [this] { Write(); });

    gwsim::Gateway* const gateways[] = {&primary, &secondary};
    int done[2] = {};  // switch-overs and reconnects that succeeded
    for (int round = 0; round < kRounds; ++round) {
        gwsim::Gateway& gateway = *gateways[random() % 2];
        // Faults are short-lived: a gateway is mostly back a few rounds later.
        switch (random() % 16) {
            case 0:
                gateway.Stop();
                break;
            case 1:
                gateway.faults().RefuseConnections(true);
                break;
            case 2:
            case 3:
            case 4:
                gateway.faults().RefuseConnections(false);
                gateway.Start();
                break;
            default:
                break;
        }
        if (round % 2 == 0) {
            const uint8_t manual = random() % 2 == 0 ? kManualSwitch : kAutomaticSwitch;
            const uint8_t before = context_->active_gateway;
            const int32_t result = SwitchGateway(*context_, manual);
            ASSERT_TRUE(result == 0 || result == 1) << "round " << round;
            done[0] += context_->active_gateway != before ? 1 : 0;
        } else {
            const int32_t unit = random() % 2 == 0 ? PrimaryGatewayUnit : SecondaryGatewayUnit;
            const int32_t result = Reconnect(unit);
            ASSERT_TRUE(result == 0 || result == 1) << "round " << round;
            done[1] += result == 0 ? 1 : 0;
        }
        ASSERT_EQ(context_->hot_backup_running, 0) << "round " << round;
        ASSERT_TRUE(context_->active_gateway == 1 || context_->active_gateway == 2);
        ASSERT_TRUE(ActiveSetHoldsOnlyGatewaySockets()) << "round " << round;
    }

    std::cout << done[0] << " switch-overs and " << done[1] << " reconnects succeeded" << std::endl;
    EXPECT_GT(done[0], 0);
    EXPECT_GT(done[1], 0);

    // Both gateways back: reopen both (a failed connection holds off one attempt) and
    // switch until the active set is on the active gateway, which must answer.
    for (gwsim::Gateway* gateway : gateways) {
        gateway->faults().Clear();
        gateway->Start();
    }
    for (const int32_t unit : {PrimaryGatewayUnit, SecondaryGatewayUnit}) {
        // A gateway that refused takes a moment to listen again.
        int32_t result = Reconnect(unit);
        for (int attempt = 0; attempt < 20 && result != 0; ++attempt) {
            PlatformSleepMs(50);
            result = Reconnect(unit);
        }
        EXPECT_EQ(result, 0) << unit << LogText();
    }
    if (!ActiveSetIs(context_->active_gateway)) {
        EXPECT_EQ(SwitchGateway(*context_, kManualSwitch), 0);
    }
    EXPECT_TRUE(ActiveSetIs(context_->active_gateway));
    // The user reads the sync channel too and could take the reply (the command
    // thread is kept off it by command_busy), so it stops first.
    user.Join();
    writer.Join();
    EXPECT_TRUE(WaitFor([&] { return context_->command_queue_count == 0; }, 20s)) << LogText();
    hostsim::EndClient(context_->client);
    EXPECT_TRUE(WaitFor([&] { return !hostsim::ClientExists(context_->client); }, 5s));
    ExpectEveryWriteAccountedFor(primary, secondary);
    {
        const SocketLease sync(*context_, ActiveSlot(*context_, ActiveChannel::Sync));
        EXPECT_EQ(SetGatewayMode(*context_, context_->active_sockets.channel_id, sync.socket(),
                                 kGatewayModePrimary),
                  kExchangeDone)
            << LogText();
    }

    EXPECT_GT(leased_.load(), 0);
    EXPECT_EQ(foreign_.load(), 0) << "a lease held a socket that was not a gateway channel";
    for (const int counter : FlowCounters()) {
        EXPECT_LT(counter, kWrapped);
    }
    CloseGatewaySockets(*context_, kPrimaryGateway);
    CloseGatewaySockets(*context_, kSecondaryGateway);
    EXPECT_TRUE(DescriptorsReturnTo(baseline))
        << OpenDescriptors() << " descriptors open, " << baseline << " before";
    hostsim::SetLogFilter(0);
}

}  // namespace
}  // namespace krogw::test
