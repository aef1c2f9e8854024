// Several host threads calling KroMain for one running instance at once, beside its
// burst and command threads: status, RTU state and channel status reads, reconnects,
// switch-overs and the close request, each on the channel it holds, one exchange at a
// time per channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gateway/active_set.h"
#include "gateway/hot_backup.h"
#include "tests/e2e/instance_fixture.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

constexpr uint16_t kRtu = 7;

// Runs each body in a loop on a thread of its own until the object goes, however the
// test ends.
class Loops {
  public:
    void Add(std::function<void()> body) {
        threads_.emplace_back([this, body = std::move(body)] {
            while (!stop_.load()) {
                body();
            }
        });
    }
    ~Loops() { Stop(); }
    void Stop() {
        stop_.store(true);
        for (std::thread& thread : threads_) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

  private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

class HostThreadsTest : public InstanceFixture {
  protected:
    // A gateway that knows RTU 7 and keeps every request it receives for the test.
    static std::unique_ptr<gwsim::Gateway> Serve(const char* address) {
        gwsim::Options options;
        options.address = address;
        options.recorded_requests = 1 << 20;
        auto gateway = std::make_unique<gwsim::Gateway>(options);
        gateway->DefineRtu(kRtu);
        gateway->Start();
        return gateway;
    }

    Instance& Running(int32_t driver_number, const char* primary, const char* secondary) {
        std::string text = std::string("PRIMARY=") + primary + "\n1=3,3,0\nRTU_INITIAL_STATE=ON\n";
        if (secondary != nullptr) {
            text += std::string("SECONDARY=") + secondary + "\n";
        }
        WriteConfiguration(driver_number, text);
        Instance& instance = NewInstance(driver_number);
        EXPECT_EQ(Start(instance, 1), kResultDone) << LogText();
        return instance;
    }

    // Requests that came on a connection before its open-channel request.
    static int RequestsBeforeOpenChannel(const gwsim::Gateway& gateway) {
        int count = 0;
        for (const gwsim::RecordedRequest& request : gateway.Requests()) {
            count +=
                request.opcode != kOpOpenChannel && request.channel_type == gwsim::kNoChannelType
                    ? 1
                    : 0;
        }
        return count;
    }

    static int32_t Read(Instance& instance, const char* text) {
        uint8_t value[4] = {};
        return GateIo(instance, kReadGate, AddressOf(instance, text), value);
    }
    static int32_t ReadChannelStatus(Instance& instance) {
        uint8_t words[10] = {};
        return GateIo(instance, kReadGateArray, AddressOf(instance, "S00007C"), words, 5);
    }
    static int32_t Reconnect(Instance& instance, int32_t unit) {
        ReconnectArguments arguments{unit};
        return Call(instance, kReconnectGateway, &arguments);
    }
    static int LoggedStarting(const std::string& prefix) {
        int count = 0;
        for (const hostsim::LogLine& line : hostsim::LogLines()) {
            count += line.text.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }
};

// Status and RTU state reads meet reconnects of both gateways and automatic
// switch-overs, which close the old active gateway's status socket: no request ever
// goes out on a connection before it was announced, and no thread uses a handle
// after it was closed (the sanitizer build watches the handles).
TEST_F(HostThreadsTest, ReadsDuringReconnectsAndSwitchOversUseAnnouncedChannelsOnly) {
    auto primary = Serve(TestAddress(10, 1));
    auto secondary = Serve(TestAddress(10, 2));
    Instance& instance = Running(21, TestAddress(10, 1), TestAddress(10, 2));
    ASSERT_TRUE(secondary->WaitForChannels(7, 1, 2s));
    hostsim::SetLogFilter(kLogError);

    std::atomic<int> reconnected{0};
    std::atomic<int> switched{0};
    {
        Loops loops;
        loops.Add([&] {
            Read(instance, "!1");
            Read(instance, "!00007");
        });
        loops.Add([&] {
            Read(instance, "!2");
            ReadChannelStatus(instance);
        });
        loops.Add([&] {
            for (const int32_t unit : {PrimaryGatewayUnit, SecondaryGatewayUnit}) {
                reconnected += Reconnect(instance, unit) == kResultDone ? 1 : 0;
            }
            std::this_thread::sleep_for(100ms);
        });
        // As the command thread does after a failed send.
        loops.Add([&] {
            switched += SwitchGateway(*instance.context, kAutomaticSwitch) == kResultDone ? 1 : 0;
            std::this_thread::sleep_for(150ms);
        });
        std::this_thread::sleep_for(4s);
    }
    std::cout << reconnected << " reconnects and " << switched << " switch-overs succeeded; "
              << RequestsBeforeOpenChannel(*primary) + RequestsBeforeOpenChannel(*secondary)
              << " requests before an open-channel" << std::endl;
    EXPECT_GT(reconnected.load(), 0);
    EXPECT_GT(switched.load(), 0);
    EXPECT_EQ(RequestsBeforeOpenChannel(*primary), 0);
    EXPECT_EQ(RequestsBeforeOpenChannel(*secondary), 0);
    hostsim::SetLogFilter(0);
}

// Host threads reading the status, RTU state and channel status gates of a healthy
// pair of gateways at once: every read answers 0 and the traffic stays where it is.
TEST_F(HostThreadsTest, ConcurrentReadsOfAHealthyGatewayNeverFail) {
    auto primary = Serve(TestAddress(10, 11));
    auto secondary = Serve(TestAddress(10, 12));
    Instance& instance = Running(22, TestAddress(10, 11), TestAddress(10, 12));
    ASSERT_TRUE(secondary->WaitForChannels(7, 1, 2s));

    std::atomic<int> reads{0};
    std::atomic<int> failed{0};
    {
        Loops loops;
        for (int thread = 0; thread < 3; ++thread) {
            loops.Add([&] {
                for (const int32_t result : {Read(instance, "!1"), Read(instance, "!00007"),
                                             ReadChannelStatus(instance), Read(instance, "!2")}) {
                    reads += 1;
                    failed += result != kResultDone ? 1 : 0;
                }
            });
        }
        std::this_thread::sleep_for(3s);
    }
    std::cout << reads << " reads, " << failed << " failed" << std::endl;
    EXPECT_GT(reads.load(), 100);
    EXPECT_EQ(failed.load(), 0) << LogText();
    EXPECT_EQ(LoggedStarting("KroGW : Start Hot Backup process"), 0) << LogText();
    EXPECT_EQ(instance.context->active_gateway.load(), kPrimaryGateway);
    EXPECT_EQ(primary->mode(), gwsim::GatewayMode::kActive);
}

// The close request's reply comes on the sync channel, which the command thread
// watches: the close takes the channel for its exchange, so its own reply reaches it.
TEST_F(HostThreadsTest, CloseGetsItsReplyWhileTheCommandThreadRuns) {
    auto primary = Serve(TestAddress(10, 21));
    Instance& instance = Running(23, TestAddress(10, 21), nullptr);
    ASSERT_TRUE(primary->WaitForChannels(7, 1, 2s));
    std::this_thread::sleep_for(600ms);  // the command thread is past its start pause

    // The command thread is waiting for the channel to become readable when the reply comes.
    primary->faults().DelayReply(kOpCloseChannel, 20);
    constexpr int kRounds = 10;
    int64_t longest_ms = 0;
    for (int round = 0; round < kRounds; ++round) {
        const int64_t begun = PlatformMonotonicMs();
        ASSERT_EQ(Call(instance, kCloseInstance, nullptr), kResultDone);
        longest_ms = std::max(longest_ms, PlatformMonotonicMs() - begun);
        ASSERT_EQ(Reconnect(instance, PrimaryGatewayUnit), kResultDone) << LogText();
    }
    std::cout << "longest close " << longest_ms << " ms" << std::endl;
    EXPECT_EQ(LoggedStarting("kroGW : Close Channel Id "), kRounds) << LogText();
    EXPECT_EQ(LoggedStarting("kroGW : Fail to Close Channel"), 0) << LogText();
}

// The operator's reconnects with the real pauses: one during a switch-over on another
// thread is refused with its reason, one right after a failed connection connects.
TEST_F(HostThreadsTest, ReconnectsWithTheRealPauses) {
    SetGatewayPauses({kConnectSettleMs, kReconnectPauseMs, kSwitchOverPauseMs});
    auto primary = Serve(TestAddress(10, 31));
    auto secondary = Serve(TestAddress(10, 32));
    Instance& instance = Running(24, TestAddress(10, 31), TestAddress(10, 32));
    ASSERT_TRUE(secondary->WaitForChannels(7, 1, 2s));

    std::thread switching([&] { SwitchGateway(*instance.context, kAutomaticSwitch); });
    ASSERT_TRUE(WaitFor([&] { return instance.context->hot_backup_running.load() == 1; }, 2s));
    EXPECT_EQ(Reconnect(instance, PrimaryGatewayUnit), kResultNotDone);
    switching.join();
    EXPECT_EQ(Logged(kLogError, "KroGW : Reconnect refused, a gateway change is running"), 1);
    EXPECT_EQ(Logged(kLogError, "KroGW : Hot Backup process completed (1->2)"), 1) << LogText();
    // The switch-over closed the primary's status socket; the reconnect reopens it.
    EXPECT_EQ(Reconnect(instance, PrimaryGatewayUnit), kResultDone) << LogText();
    EXPECT_EQ(Read(instance, "!1"), kResultDone) << LogText();

    // The secondary, now active, goes away and comes back: the first reconnect after
    // its return connects.
    secondary->Stop();
    EXPECT_EQ(Reconnect(instance, SecondaryGatewayUnit), kResultNotDone);
    secondary->Start();
    EXPECT_EQ(Reconnect(instance, SecondaryGatewayUnit), kResultDone) << LogText();
    EXPECT_EQ(Read(instance, "!2"), kResultDone) << LogText();
    EXPECT_EQ(instance.context->active_gateway.load(), kSecondaryGateway);
}

}  // namespace
}  // namespace krogw::test
