// What the decoder tests share: a reset context of driver 1 with table layouts, gates
// in the stand-in host, messages written out as a gateway sends them, and the log.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "address/subaddress.h"
#include "config/config_reader.h"
#include "config/table_layout.h"
#include "context/context.h"
#include "gateway/frame.h"
#include "tests/support/gw_message.h"
#include "tests/support/host_log.h"
#include "tools/hostsim/hostsim.h"

namespace krogw::test {

struct PollHead {
    uint16_t rtu;
    uint8_t table;
    uint8_t table_type;
    uint8_t first_row;
    uint8_t rows;
    uint32_t result_code = 0;
};

struct Section {
    uint16_t rtu;
    Bytes rows;            // table, row and elements of each row
    int data_length = -1;  // -1: as the rows need
};

class DecoderFixture : public ::testing::Test {
  protected:
    static constexpr double kUpperHalf = 1.0 / 65536;  // 8- and 16-bit raws sit in bits 16-31

    void SetUp() override {
        hostsim::Reset();
        context_ = std::make_unique<DriverContext>();
        ResetContext(1, *context_);
        context_->client = 1;
    }

    void Layout(const char* line) {
        ConfigSeen seen;
        ParseTableTypeLine(line, seen, *context_);
        ASSERT_TRUE(seen.table_type) << line;
        hostsim::ClearLog();
    }

    // A table element gate of table type `table_type`, cooked so that its value is the
    // element's own number.
    int32_t Gate(int32_t rtu, int32_t table, int32_t column, int32_t row, int table_type = 0,
                 double scale = kUpperHalf) {
        const int32_t id = hostsim::DefineGate(
            1, GateAddress{rtu, TableElement, PackTableElement({table, column, row}), 255, 16},
            {scale, 0.0});
        context_->gate_table_type[static_cast<uint16_t>(id)] = static_cast<uint8_t>(table_type);
        return id;
    }

    int32_t ErrorGate() {
        return hostsim::DefineGate(1, GateAddress{DriverSpecialUnit, LastError, 0, 255, 16});
    }

    // The gate's value, or -1 when it has none.
    static double Value(int32_t gate) {
        const auto value = hostsim::GateValueOf(gate);
        return value ? value->value : -1.0;
    }

    static Bytes PollReply(uint32_t type, const PollHead& head, const Bytes& data) {
        Bytes body(16);
        PutU16(&body[0], head.rtu);
        body[2] = head.table;
        body[3] = head.first_row;
        body[4] = head.rows;
        body.insert(body.end(), data.begin(), data.end());
        return GwMessage(kGwReplyBit | type, head.result_code, body,
                         {.aux_word = head.table_type, .status = kGwStatusNormal});
    }

    static Bytes BurstReport(const std::vector<Section>& sections, uint32_t result_code = 0) {
        Bytes message(20);
        PutU16(&message[0], 1);
        PutU32(&message[12], kGwStatusNormal);
        PutU16(&message[18], static_cast<uint16_t>(sections.size()));
        for (const Section& section : sections) {
            Bytes block(32);
            PutU32(&block[0], kOpBurstReport);
            PutU32(&block[8], message.size() == 20 ? result_code : 0);
            const int data_length = section.data_length >= 0
                                        ? section.data_length
                                        : static_cast<int>(16 + section.rows.size());
            PutU16(&block[12], static_cast<uint16_t>(data_length));
            PutU16(&block[16], section.rtu);
            message.insert(message.end(), block.begin(), block.end());
            message.insert(message.end(), section.rows.begin(), section.rows.end());
        }
        PutU16(&message[16], static_cast<uint16_t>(message.size()));
        return message;
    }

    std::unique_ptr<DriverContext> context_;
};

}  // namespace krogw::test
