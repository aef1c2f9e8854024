// Feeds arbitrary burst reports, with arbitrary layouts for the table types their
// gates name, to DecodeBurstReport. Nothing past the message may be read, and a
// disabled RTU stays disabled.
//
// Input: byte 0 flags (bit 0: RTU 1 disabled, bit 1: RTU 2 disabled), three layouts
// of 9 bytes (column count mod 9, then 8 column types) for table types 1, 2 and 3,
// then the message as received. RTUs 1 and 2 have gates on rows 0-7 of table 1
// (table type 1) and table 2 (type 2), and on row 42 column 5 of table 3 (type 3).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "context/context.h"
#include "exchange/burst_report.h"
#include "fuzz/fuzz_support.h"
#include "include/krogw/abi.h"
#include "tools/hostsim/hostsim.h"

namespace {

constexpr size_t kLayouts = 3;
constexpr size_t kLayoutBytes = 9;
constexpr size_t kPrefixBytes = 1 + kLayouts * kLayoutBytes;

void DefineGate(krogw::DriverContext& context, int32_t rtu, int32_t table, int32_t column,
                int32_t row, uint8_t table_type) {
    const int32_t id = hostsim::DefineGate(
        1, {rtu, krogw::TableElement, table * 4096 + column * 256 + row, 255, 16});
    context.gate_table_type[static_cast<uint16_t>(id)] = table_type;
}

krogw::DriverContext& Context() {
    static krogw::DriverContext* context = [] {
        hostsim::SetLogFilter(1000);  // keep no message
        krogw::fuzz::SetFixedTimeZone();
        auto* made = new krogw::DriverContext;
        krogw::ResetContext(1, *made);
        for (int32_t rtu = 1; rtu <= 2; ++rtu) {
            for (int32_t table = 1; table <= 2; ++table) {
                for (int32_t row = 0; row < 8; ++row) {
                    for (int32_t column = 0; column < 8; ++column) {
                        DefineGate(*made, rtu, table, column, row, static_cast<uint8_t>(table));
                    }
                }
            }
            DefineGate(*made, rtu, 3, 5, 42, 3);
        }
        hostsim::DefineGate(1, {krogw::DriverSpecialUnit, krogw::LastError, 0, 255, 16});
        return made;
    }();
    return *context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kPrefixBytes) {
        return 0;
    }
    krogw::DriverContext& context = Context();
    // Only what the decoder reads: the three layouts, the RTUs' states and the fields
    // of SetErrorGate and the time conversion.
    for (size_t layout = 0; layout < kLayouts; ++layout) {
        krogw::fuzz::SetLayoutFromBytes(context, static_cast<int>(layout) + 1,
                                        data + 1 + layout * kLayoutBytes);
    }
    const uint8_t flags = data[0];
    context.rtu_state[1] = (flags & 1) != 0 ? krogw::RtuDisabled : krogw::RtuNotConfirmed;
    context.rtu_state[2] = (flags & 2) != 0 ? krogw::RtuDisabled : krogw::RtuNotConfirmed;
    krogw::fuzz::ResetDecoderFields(context);

    size_t received = size - kPrefixBytes;
    const uint8_t* message = krogw::fuzz::Receive(data + kPrefixBytes, received);
    krogw::DecodeBurstReport(context, message, received);

    if ((flags & 1) != 0 && context.rtu_state[1] != krogw::RtuDisabled) {
        __builtin_trap();
    }
    if ((flags & 2) != 0 && context.rtu_state[2] != krogw::RtuDisabled) {
        __builtin_trap();
    }
    return 0;
}
