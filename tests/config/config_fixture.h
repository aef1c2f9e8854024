// A reset context that configuration text is read into, and the level-32 lines that
// reading it logged.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_reader.h"
#include "context/context.h"
#include "tests/support/host_log.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {

class ConfigFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsim::Reset();
        context_ = std::make_unique<DriverContext>();
        ResetContext(1, *context_);
    }

    // Reads the text as a whole file; true when it would let an instance start.
    bool Read(std::string_view text) {
        seen_ = ConfigSeen{};
        return ReadConfiguration(ConfigText{text.data(), text.size(), 0}, seen_, *context_);
    }

    std::unique_ptr<DriverContext> context_;
    ConfigSeen seen_;
};

}  // namespace krogw
