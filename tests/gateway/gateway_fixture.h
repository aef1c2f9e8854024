// What the gateway tests share: a reset context of driver 12 on installation 345,
// a fresh stand-in host, and the host's log.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "context/context.h"
#include "platform/platform.h"
#include "tests/support/host_log.h"
#include "tests/support/scripted_gateway.h"
#include "tools/hostsim/hostsim.h"

namespace krogw::test {

// The request a builder makes, as the bytes a gateway would read.
template <typename Build>
Bytes Built(Build build) {
    Bytes buffer(kRequestBufferBytes);
    buffer.resize(build(buffer.data(), buffer.size()));
    return buffer;
}

class GatewayFixture : public ::testing::Test {
  protected:
    static constexpr uint8_t kDriverNumber = 12;
    static constexpr int32_t kReplyTimeoutMs = 1000;

    void SetUp() override {
        ASSERT_EQ(PlatformNetStart(), 0);
        hostsim::Reset();
        hostsim::SetSerialNumber(345);
        context_ = std::make_unique<DriverContext>();
        ResetContext(kDriverNumber, *context_);
        context_->client = 1;
        context_->sync_reply_timeout = kReplyTimeoutMs;
    }

    // The log holds exactly this one error line, or nothing when `line` is empty.
    static void ExpectOnlyLogged(const std::string& line, const char* what) {
        EXPECT_EQ(hostsim::LogLines().size(), line.empty() ? 0u : 1u) << what << LogText();
        if (!line.empty()) {
            EXPECT_EQ(Logged(kLogError, line), 1) << what << LogText();
        }
    }

    std::unique_ptr<DriverContext> context_;
};

}  // namespace krogw::test
