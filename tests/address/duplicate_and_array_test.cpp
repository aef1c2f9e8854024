// The duplicate test through the host's gate look-up, array checks, and checks that
// run at the same time.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "address_fixture.h"

namespace krogw {
namespace {

using DuplicateTest = AddressFixture;

constexpr const char* kElement = "00001005010103";
const std::string kTwice = "KroGW : Can not define address 00001005010103 twice !!!";

TEST_F(DuplicateTest, AnAddressInUseIsRefusedForAnotherGate) {
    const CheckOutcome first = Check(kElement, 100);
    ASSERT_EQ(first.result, kResultDone);
    const int32_t gate_id = hostsim::DefineGate(1, first.words);

    EXPECT_EQ(Check(kElement, gate_id).result, kResultDone) << "the same gate checked again";
    EXPECT_TRUE(hostsim::LogLines().empty());

    EXPECT_EQ(Check(kElement, gate_id + 1).result, kResultNotDone);
    // Another table type over the same table, row and column is the same address.
    EXPECT_EQ(Check("00001005050103", gate_id + 1).result, kResultNotDone);
    const auto lines = hostsim::LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, 32);
    EXPECT_EQ(lines[0].text, kTwice);
    EXPECT_EQ(lines[1].text, "KroGW : Can not define address 00001005050103 twice !!!");

    EXPECT_EQ(Check("00001005010102", gate_id + 1).result, kResultDone) << "another column";
    EXPECT_EQ(Check("00002005010103", gate_id + 1).result, kResultDone) << "another RTU";
}

TEST_F(DuplicateTest, MessageQuotesTheTextAsTheHostGaveIt) {
    hostsim::DefineGate(1, Check(kElement, 100).words);
    EXPECT_EQ(Check("00001005010103  ", 7).result, kResultNotDone);
    const auto lines = hostsim::LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "KroGW : Can not define address 00001005010103   twice !!!");
}

TEST_F(DuplicateTest, GatesOfOtherInstancesOrKindsDoNotCount) {
    const GateAddress words = Check(kElement, 100).words;
    hostsim::DefineGate(2, words);
    GateAddress poll_words = words;
    poll_words.kind = PollRows;
    hostsim::DefineGate(1, poll_words);
    EXPECT_EQ(Check(kElement, 5).result, kResultDone);
}

TEST_F(DuplicateTest, ParseNoLetsDuplicatesThrough) {
    Configure(std::string(kAddressTestConfig) + "PARSE=NO\n");
    hostsim::DefineGate(1, Check(kElement, 100).words);
    EXPECT_EQ(Check(kElement, 101).result, kResultDone);
    EXPECT_TRUE(hostsim::LogLines().empty());
}

TEST_F(DuplicateTest, ArrayCheckLetsDuplicatesThrough) {
    hostsim::DefineGate(1, Check(kElement, 100).words);
    EXPECT_EQ(CheckArray(kElement, 10, 101).result, kResultDone);
    EXPECT_TRUE(hostsim::LogLines().empty());
    // The suppression belonged to that check only.
    EXPECT_EQ(Check(kElement, 101).result, kResultNotDone);
}

using ArrayCheckTest = AddressFixture;

struct ArrayCase {
    const char* text;
    int32_t elements;
    int32_t result;
};

TEST_F(ArrayCheckTest, OnlyTableValuesAndChannelStatusMakeArrays) {
    const std::vector<ArrayCase> cases = {
        {"S00001C0", 5, kResultDone},
        {"S00001C0", 4, kResultNotDone},
        {"S00001C3", 6, kResultNotDone},
        {kElement, 1, kResultDone},
        {kElement, 250, kResultDone},
        {kElement, 251, kResultNotDone},
        {kElement, 0, kResultNotDone},
        {kElement, -1, kResultNotDone},
        {"00001005010108", 2, kResultNotDone},
        {"P000010050101020", 5, kResultNotDone},
        {"C000010050101020", 5, kResultNotDone},
        {"T00001", 5, kResultNotDone},
        {"!00001", 5, kResultNotDone},
        {"!1", 5, kResultNotDone},
        {"!ERROR", 5, kResultNotDone},
        {"SETCALL.EXE", 5, kResultNotDone},
    };
    for (const ArrayCase& c : cases) {
        EXPECT_EQ(CheckArray(c.text, c.elements).result, c.result)
            << c.text << " with " << c.elements << " elements";
    }
}

// Each check keeps its field and its duplicate suppression to itself: array checks
// that let a duplicate through never leak that into a single check running beside
// them, and no check reads another's address.
TEST(ConcurrentCheckTest, ChecksOnTwoThreadsStayApart) {
    hostsim::Reset();
    auto owned_first = std::make_unique<DriverContext>();
    auto owned_second = std::make_unique<DriverContext>();
    DriverContext* contexts[2] = {owned_first.get(), owned_second.get()};
    for (DriverContext* context : contexts) {
        ResetContext(1, *context);
        ConfigSeen seen;
        ReadConfiguration(ConfigText{kAddressTestConfig.data(), kAddressTestConfig.size(), 0}, seen,
                          *context);
    }
    AddressCheckArguments defined{};
    defined.address_text = kElement;
    HostRequest define_request{contexts[0], kParseGateAddress, 1, 0, &defined};
    ASSERT_EQ(KroMain(&define_request), kResultDone);
    hostsim::DefineGate(1, defined.address);

    std::atomic<int> wrong{0};
    auto single_checks = [&] {
        for (int i = 0; i < 3000; ++i) {
            AddressCheckArguments arguments{};
            arguments.address_text = kElement;
            arguments.gate_id = 9999;
            HostRequest request{contexts[0], kParseGateAddress, 1, 0, &arguments};
            if (KroMain(&request) != kResultNotDone) {
                ++wrong;
            }
        }
    };
    auto array_checks = [&] {
        for (int i = 0; i < 3000; ++i) {
            AddressCheckArguments arguments{};
            arguments.address_text = "!BACKUP";
            arguments.element_count = 1;
            HostRequest request{contexts[1], kCheckArrayAddress, 1, 0, &arguments};
            KroMain(&request);
            arguments.address_text = kElement;
            arguments.element_count = 2;
            if (KroMain(&request) != kResultDone || arguments.address.bit_width != 16) {
                ++wrong;
            }
        }
    };
    std::thread first(single_checks);
    std::thread second(array_checks);
    first.join();
    second.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace krogw
