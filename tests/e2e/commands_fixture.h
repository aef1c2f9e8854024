// Writes against two simulated gateways: the table they write, the host's value
// buffers, and the command thread started and ended on the instance's client.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "driver/gate_io.h"
#include "exchange/commands.h"
#include "exchange/threads.h"
#include "host/qivpro.h"
#include "tests/e2e/hot_backup_fixture.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"

namespace krogw::test {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kRtu = 7;
constexpr uint8_t kTable = 3;
constexpr int kRows = 120;
constexpr int kBitColumn = 0;
constexpr int kWordColumn = 1;
constexpr int kLongColumn = 2;

inline int32_t Subaddress(int column, int row) {
    return kTable * 4096 + column * 256 + row;
}

// The host's value buffer: little-endian words; a single value's word at bytes 2-3
// (16 and 8 bits) or the 32-bit integer at 0-3.
inline Bytes HostBuffer(int32_t width, const std::vector<uint32_t>& values) {
    Bytes buffer(4 + values.size() * 4, 0);
    if (values.size() == 1) {
        const uint32_t raw = width == 32 ? values[0] : values[0] << 16;
        std::memcpy(buffer.data(), &raw, 4);
        return buffer;
    }
    const size_t bytes = static_cast<size_t>(width / 8);
    for (size_t index = 0; index < values.size(); ++index) {
        std::memcpy(buffer.data() + index * bytes, &values[index], bytes);
    }
    return buffer;
}

// The first value of every write to the row that the gateway received, in order.
inline std::vector<uint32_t> ValuesReceived(const gwsim::Gateway& gateway, int row) {
    std::vector<uint32_t> values;
    for (const gwsim::RecordedRequest& request : gateway.Requests()) {
        if ((request.opcode == kOpSendCommand || request.opcode == kOpSendData) &&
            request.U8(39) == row) {
            values.push_back(request.U16(52));
        }
    }
    return values;
}

class CommandsTest : public HotBackupFixture {
  protected:
    void SetUp() override {
        HotBackupFixture::SetUp();
        for (gwsim::Gateway* gateway : {&primary_, &secondary_}) {
            gateway->DefineTableType(1, gwsim::ParseTableType("1,2,3,0"));
            gateway->DefineTable(kRtu, kTable, 1, kRows);
        }
        context_->cmd_response_time = 2000;
    }
    void TearDown() override {
        StopCommandThread();
        HotBackupFixture::TearDown();
    }

    void Connect(bool with_secondary) {
        primary_.Start();
        if (with_secondary) {
            secondary_.Start();
        }
        Configure(kPrimary, with_secondary ? kSecondary : nullptr);
        ASSERT_TRUE(ConnectGateways(*context_)) << LogText();
        primary_.ClearRequests();
        secondary_.ClearRequests();
        hostsim::ClearLog();
    }

    uint8_t Write(int32_t width, int column, int row, const std::vector<uint32_t>& values,
                  uint16_t rtu = kRtu) {
        Bytes buffer = HostBuffer(width, values);
        GateIoArguments write{};
        write.address = GateAddress{rtu, TableElement, Subaddress(column, row), kFixedWord, width};
        write.element_count = static_cast<int32_t>(values.size());
        write.value_buffer = buffer.data();
        return RequestCommand(*context_, CommandWriteFromRequest(write));
    }

    // The command thread runs on the instance's client until StopCommandThread ends it.
    void StartCommandThread() {
        ASSERT_EQ(QivMkClient("GateWay_No_12", 1, 0, &context_->client), 0);
        ASSERT_TRUE(PlatformThreadStart(CommandThread, context_.get(), 32768));
        thread_running_ = true;
    }
    void StopCommandThread() {
        if (!thread_running_) {
            return;
        }
        hostsim::EndClient(context_->client);
        // The thread removes the client, then touches the context no more.
        EXPECT_TRUE(WaitFor([&] { return !hostsim::ClientExists(context_->client); },
                            std::chrono::seconds(5)));
        thread_running_ = false;
    }

    const char* const kPrimary = TestAddress(92, 1);
    const char* const kSecondary = TestAddress(92, 2);
    gwsim::Gateway primary_{kPrimary};
    gwsim::Gateway secondary_{kSecondary};
    bool thread_running_ = false;
};

}  // namespace krogw::test
