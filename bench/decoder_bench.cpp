// Decoding speed of poll replies and burst reports, in elements per second, over a
// host whose look-up, cooking and storing are as cheap as an array index.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/cheap_host.h"
#include "config/config_reader.h"
#include "config/table_layout.h"
#include "context/context.h"
#include "exchange/burst_report.h"
#include "exchange/poll_reply.h"
#include "gateway/frame.h"
#include "tests/support/gw_message.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Table type n describes table n of RTU 1; every element of rows 0-255 has a gate.
constexpr const char* kLayouts[] = {"1=1,1,1,1,1,1,1,1,0", "2=2,2,2,2,2,2,2,2,0",
                                    "3=3,3,3,3,3,3,3,3,0", "4=2,4,1,0"};
constexpr int64_t kRows = 250;

krogw::DriverContext& Context() {
    static krogw::DriverContext* context = [] {
        auto* made = new krogw::DriverContext;
        krogw::ResetContext(1, *made);
        krogw::ConfigSeen seen;
        for (const char* line : kLayouts) {
            krogw::ParseTableTypeLine(line, seen, *made);
        }
        int32_t next_id = 1;
        for (int32_t table = 1; table <= 4; ++table) {
            for (int32_t column = 0; column < 8; ++column) {
                for (int32_t row = 0; row < 256; ++row) {
                    bench::Host().gate_of_subaddress[table * 4096 + column * 256 + row] = next_id;
                    made->gate_table_type[next_id] = static_cast<uint8_t>(table);
                    ++next_id;
                }
            }
        }
        return made;
    }();
    return *context;
}

Bytes Frame(uint32_t opcode, const Bytes& body, uint16_t sections = 1) {
    return krogw::test::GwMessage(opcode, 0, body,
                                  {.status = krogw::kGwStatusNormal, .tail_mark = sections});
}

// 14:30:45.500 on 7 November 2004: every stamp in one hour, as an RTU's often are.
const Bytes kStamp = {0x07, 0x0B, 0x04, 0x0E, 0x1E, 0x2D, 0x01, 0xF4};

Bytes PollReply(uint32_t type, int table, const Bytes& data) {
    Bytes body(16);
    krogw::PutU16(&body[0], bench::kRtu);
    body[2] = static_cast<uint8_t>(table);
    body[3] = 0;
    body[4] = static_cast<uint8_t>(kRows);
    body.insert(body.end(), data.begin(), data.end());
    Bytes message = Frame(krogw::kGwReplyBit | type, body);
    message[34] = static_cast<uint8_t>(table);
    return message;
}

Bytes Pattern(int64_t bytes) {
    Bytes data(static_cast<size_t>(bytes));
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return data;
}

void Run(benchmark::State& state, const Bytes& message, uint32_t type, int64_t elements) {
    krogw::DriverContext& context = Context();
    bench::Host().stores = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        context.rtu_state[bench::kRtu] = krogw::RtuActive;
        if (type == krogw::kOpBurstReport) {
            krogw::DecodeBurstReport(context, message.data(), message.size());
        } else {
            krogw::DecodePollReply(context, message.data(), message.size(), type);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * elements);
    // Every element has a gate: a figure below `elements` means decoding stopped early.
    state.counters["stored"] =
        static_cast<double>(bench::Host().stores) / static_cast<double>(state.iterations());
}

void PollReplyPackedBits(benchmark::State& state) {
    Run(state, PollReply(krogw::kOpPoll, 1, Pattern(kRows)), krogw::kOpPoll, kRows * 8);
}

void PollReply16Bit(benchmark::State& state) {
    Run(state, PollReply(krogw::kOpPoll, 2, Pattern(kRows * 16)), krogw::kOpPoll, kRows * 8);
}

void PollReply32Bit(benchmark::State& state) {
    Run(state, PollReply(krogw::kOpPoll, 3, Pattern(kRows * 32)), krogw::kOpPoll, kRows * 8);
}

void PollReplyTimeStamped(benchmark::State& state) {
    Bytes data;
    for (int64_t row = 0; row < kRows; ++row) {
        data.push_back(0);
        data.push_back(static_cast<uint8_t>(row));
        data.insert(data.end(), kStamp.begin(), kStamp.end());
    }
    Run(state, PollReply(krogw::kOpPoll, 4, data), krogw::kOpPoll, kRows);
}

void PollReplyRowList16Bit(benchmark::State& state) {
    Bytes data;
    const Bytes values = Pattern(16);
    for (int64_t row = 0; row < kRows; ++row) {
        data.push_back(static_cast<uint8_t>(row));
        data.insert(data.end(), values.begin(), values.end());
    }
    Run(state, PollReply(krogw::kOpPollRowList, 2, data), krogw::kOpPollRowList, kRows * 8);
}

// Sections of one RTU, each of `rows_per_section` rows of the table.
Bytes BurstReport(int table, int sections, int rows_per_section, const Bytes& row_elements) {
    const auto data_length = static_cast<uint16_t>(16 + static_cast<size_t>(rows_per_section) *
                                                            (2 + row_elements.size()));
    Bytes body;
    for (int section = 0; section < sections; ++section) {
        Bytes block(32);
        krogw::PutU32(&block[0], krogw::kOpBurstReport);
        krogw::PutU16(&block[12], data_length);
        krogw::PutU16(&block[16], bench::kRtu);
        for (int row = 0; row < rows_per_section; ++row) {
            block.push_back(static_cast<uint8_t>(table));
            block.push_back(static_cast<uint8_t>((section * rows_per_section + row) % 256));
            block.insert(block.end(), row_elements.begin(), row_elements.end());
        }
        // The first section's command block is the message's own.
        body.insert(body.end(), section == 0 ? block.begin() + 16 : block.begin(), block.end());
    }
    Bytes message = Frame(krogw::kOpBurstReport, body, static_cast<uint16_t>(sections));
    krogw::PutU16(&message[krogw::kGwDataLengthOffset], data_length);
    return message;
}

void BurstReport16BitSections(benchmark::State& state) {
    const auto sections = static_cast<int>(state.range(0));
    Run(state, BurstReport(2, sections, 1, Pattern(16)), krogw::kOpBurstReport,
        int64_t{8} * sections);
}

void BurstReportTimeStampedRows(benchmark::State& state) {
    Bytes row = {0, 7};
    row.insert(row.end(), kStamp.begin(), kStamp.end());
    Run(state, BurstReport(4, 20, 30, row), krogw::kOpBurstReport, int64_t{20} * 30);
}

BENCHMARK(PollReplyPackedBits);
BENCHMARK(PollReply16Bit);
BENCHMARK(PollReply32Bit);
BENCHMARK(PollReplyTimeStamped);
BENCHMARK(PollReplyRowList16Bit);
BENCHMARK(BurstReport16BitSections)->Arg(10)->Arg(100);
BENCHMARK(BurstReportTimeStampedRows);

}  // namespace

BENCHMARK_MAIN();
