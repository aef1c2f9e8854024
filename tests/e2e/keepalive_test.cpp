// Gateway channels probed while idle: a quiet gateway that answers stays up, and one
// whose path dies without a word is found within the keepalive's bound and counted as a
// loss. Runs only in a network namespace of its own (keepalive_test.sh), since it takes
// loopback down.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/e2e/instance_fixture.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

constexpr int32_t kIdleS = 1;
// Idle, the probes, and a margin for a loaded machine.
constexpr auto kFoundWithin =
    std::chrono::seconds(kIdleS + kKeepAliveProbes * kKeepAliveProbeGapS + 4);

class KeepAliveTest : public InstanceFixture {
  protected:
    void SetUp() override {
        const char* namespaced = std::getenv("KROGW_OWN_NETWORK_NAMESPACE");
        if (namespaced == nullptr || std::strcmp(namespaced, "1") != 0) {
            GTEST_SKIP() << "takes loopback down: run through keepalive_test.sh";
        }
        InstanceFixture::SetUp();
    }

    static uint32_t Read(const Instance& instance, const char* name) {
        uint8_t value[4] = {};
        EXPECT_EQ(GateIo(instance, kReadGate, AddressOf(instance, name), value), kResultDone);
        uint32_t word = 0;
        std::memcpy(&word, value, sizeof word);
        return word;
    }
};

TEST_F(KeepAliveTest, AQuietGatewayStaysAndAVanishedOneIsFound) {
    gwsim::Gateway gateway(TestAddress(175, 1));
    gateway.Start();
    WriteConfiguration(41, "PRIMARY=" + std::string(TestAddress(175, 1)) +
                               "\n1=3,3,0\nKEEPALIVE=" + std::to_string(kIdleS) + "\n");
    Instance& instance = NewInstance(41);
    ASSERT_EQ(Start(instance, 1), kResultDone) << LogText();
    ASSERT_TRUE(gateway.WaitForChannels(7, 1, 2s));

    // Nothing asked, nothing reported, for longer than idle and every probe: the
    // gateway's system answers the probes, and the channels stay.
    std::this_thread::sleep_for(kFoundWithin);
    EXPECT_EQ(Read(instance, "!1.DROPS"), 0u) << LogText();
    EXPECT_GE(Read(instance, "!1.UP"), static_cast<uint32_t>(kFoundWithin.count() - 1));
    EXPECT_EQ(gateway.Channels().size(), 3u);

    // The path dies without a word to either side; no request goes out, so only the
    // probes can find it.
    ASSERT_EQ(std::system("ip link set lo down"), 0);
    EXPECT_TRUE(WaitFor([&] { return Read(instance, "!1.DROPS") == 1u; }, kFoundWithin))
        << LogText();
    EXPECT_EQ(Read(instance, "!1.UP"), 0u);
    EXPECT_EQ(std::system("ip link set lo up"), 0);
}

}  // namespace
}  // namespace krogw::test
