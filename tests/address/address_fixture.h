// An instance configured from text, whose addresses are checked through KroMain as
// the host checks them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "config/config_reader.h"
#include "context/context.h"
#include "include/krogw/abi.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {

// Table type 01: columns of 8, 16, 32 and 16 bits. 02: no columns. 03: time-stamped.
// 05: eight 32-bit columns.
inline constexpr std::string_view kAddressTestConfig =
    "PRIMARY=10.1.1.5\n"
    "1=1,2,3,2,0\n"
    "2=0\n"
    "3=1,4,1,0\n"
    "5=3,3,3,3,3,3,3,3,0\n";

struct CheckOutcome {
    int32_t result;
    GateAddress words;
};

class AddressFixture : public ::testing::Test {
  protected:
    void SetUp() override { Configure(kAddressTestConfig); }

    void Configure(std::string_view text) {
        hostsim::Reset();
        context_ = std::make_unique<DriverContext>();
        ResetContext(1, *context_);
        ConfigSeen seen;
        ASSERT_TRUE(ReadConfiguration(ConfigText{text.data(), text.size(), 0}, seen, *context_));
        hostsim::ClearLog();
    }

    // Code 3, or code 4 with the element count.
    CheckOutcome Check(const char* text, int32_t gate_id = 1, int32_t code = kParseGateAddress,
                       int32_t element_count = 0) {
        AddressCheckArguments arguments{};
        arguments.address_text = text;
        arguments.gate_id = gate_id;
        arguments.element_count = element_count;
        HostRequest request{context_.get(), code, 1, 0, &arguments};
        const int32_t result = KroMain(&request);
        return {result, arguments.address};
    }

    CheckOutcome CheckArray(const char* text, int32_t element_count, int32_t gate_id = 1) {
        return Check(text, gate_id, kCheckArrayAddress, element_count);
    }

    std::unique_ptr<DriverContext> context_;
};

}  // namespace krogw
