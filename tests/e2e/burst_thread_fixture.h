// A simulated primary gateway, a driver context connected to it the way start-up
// connects, a registered host client and, on request, the instance's burst thread.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "address/subaddress.h"
#include "config/config_reader.h"
#include "driver/handlers.h"
#include "exchange/polls.h"
#include "exchange/threads.h"
#include "tests/e2e/hot_backup_fixture.h"
#include "tests/support/wait_for.h"

namespace krogw::test {

class BurstThreadFixture : public HotBackupFixture {
  protected:
    static constexpr double kUpperHalf = 1.0 / 65536;  // 8- and 16-bit raws sit in bits 16-31

    void SetUp() override {
        HotBackupFixture::SetUp();
        ASSERT_EQ(QivMkClient("GateWay_No_12", 1, 0, &context_->client), 0);
    }

    void TearDown() override {
        if (thread_started_) {
            hostsim::EndClient(context_->client);
            EXPECT_TRUE(WaitFor([this] { return !hostsim::ClientExists(context_->client); }))
                << "the burst thread did not end";
        }
        HotBackupFixture::TearDown();
    }

    // A gateway at `address` that outlives the burst thread of the test.
    gwsim::Gateway& Gateway(const char* address) {
        gateway_ = std::make_unique<gwsim::Gateway>(address);
        address_ = address;
        return *gateway_;
    }

    // Serves the gateway's model and connects its three channels.
    void Connect() {
        gateway_->Start();
        Configure(address_, nullptr);
        ASSERT_TRUE(ConnectGateways(*context_)) << LogText();
        gateway_->ClearRequests();
        hostsim::ClearLog();
    }

    // The table type in the gateway's model and in the driver's layouts alike.
    void TableType(int number, const char* columns) {
        gateway_->DefineTableType(static_cast<uint8_t>(number), gwsim::ParseTableType(columns));
        ConfigSeen seen;
        const std::string line = std::to_string(number) + "=" + columns;
        ParseTableTypeLine(line.c_str(), seen, *context_);
        ASSERT_TRUE(seen.table_type) << line;
    }

    void StartBurstThread() {
        ASSERT_TRUE(PlatformThreadStart(BurstThread, context_.get(), 0x8000));
        thread_started_ = true;
    }

    int32_t Gate(int32_t rtu, int32_t table, int32_t column, int32_t row, int table_type,
                 double scale = kUpperHalf, double offset = 0.0) {
        const int32_t id = hostsim::DefineGate(
            kDriverNumber,
            GateAddress{rtu, TableElement, PackTableElement({table, column, row}), kFixedWord, 16},
            {scale, offset});
        context_->gate_table_type[static_cast<uint16_t>(id)] = static_cast<uint8_t>(table_type);
        return id;
    }

    // Reads a poll gate of the RTU's table; the value buffer's value word is in value_.
    uint8_t Poll(uint32_t opcode, int32_t rtu, const PollBlock& block) {
        value_[2] = value_[3] = 0xEE;
        GateIoArguments gate{};
        gate.address = GateAddress{rtu, opcode == kOpPoll ? PollRows : PollNumberedRows,
                                   PackPoll(block), kFixedWord, 16};
        gate.element_count = 1;
        gate.value_buffer = value_;
        HostRequest request{context_.get(), kReadGate, kDriverNumber, 0, &gate};
        return static_cast<uint8_t>(ReadGate(request));
    }

    // The gate's value, or -1 when it has none.
    static double Value(int32_t gate) {
        const auto value = hostsim::GateValueOf(gate);
        return value ? value->value : -1.0;
    }

    std::unique_ptr<gwsim::Gateway> gateway_;
    const char* address_ = nullptr;
    uint8_t value_[4] = {};
    bool thread_started_ = false;
};

}  // namespace krogw::test
