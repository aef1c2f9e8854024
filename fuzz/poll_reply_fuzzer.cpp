// Feeds arbitrary poll replies, with an arbitrary layout for the table type they name,
// to DecodePollReply. Nothing past the message may be read, the reply releases one
// poll slot, and a disabled RTU stays disabled.
//
// Input: byte 0 flags (bit 0: the 261 form, bit 1: SIGN_RTU, bits 2-3: the RTU's
// state before), byte 1 the column count (taken mod 9), bytes 2-9 the column types,
// then the message as received.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "context/context.h"
#include "exchange/poll_reply.h"
#include "fuzz/fuzz_support.h"
#include "gateway/frame.h"
#include "include/krogw/abi.h"
#include "tools/hostsim/hostsim.h"

namespace {

constexpr size_t kLayoutBytes = 10;

krogw::DriverContext& Context() {
    static krogw::DriverContext* context = [] {
        hostsim::SetLogFilter(1000);  // keep no message
        krogw::fuzz::SetFixedTimeZone();
        auto* made = new krogw::DriverContext;
        krogw::ResetContext(1, *made);
        // Gates of RTU 1, table 1, rows 0-15, every column, and the !ERROR gate.
        for (int32_t row = 0; row < 16; ++row) {
            for (int32_t column = 0; column < 8; ++column) {
                hostsim::DefineGate(1,
                                    {1, krogw::TableElement, 4096 + column * 256 + row, 255, 16});
            }
        }
        hostsim::DefineGate(1, {krogw::DriverSpecialUnit, krogw::LastError, 0, 255, 16});
        return made;
    }();
    return *context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kLayoutBytes) {
        return 0;
    }
    krogw::DriverContext& context = Context();
    const uint8_t flags = data[0];
    size_t received = size - kLayoutBytes;
    const uint8_t* message = krogw::fuzz::Receive(data + kLayoutBytes, received);

    // Only what the decoder reads: the named table type's layout, the RTU's state,
    // the slot counter and the fields of SetErrorGate and the time conversion.
    // The harness reads the input, never the poisoned copy.
    const uint8_t* raw = data + kLayoutBytes;
    const int table_type = received > 34 ? raw[34] : 0;
    if (table_type < krogw::kTableTypes) {
        krogw::fuzz::SetLayoutFromBytes(context, table_type, data + 1);
    }
    const int32_t rtu = received > 37 ? krogw::GetU16(raw + 36) : 0;
    const auto state_before = static_cast<uint8_t>((flags >> 2) & 3);
    context.rtu_state[rtu] = state_before;
    context.sign_rtu_on_fail = (flags & 2) != 0 ? 1 : 0;
    context.polls_in_flight = 1;
    krogw::fuzz::ResetDecoderFields(context);

    krogw::DecodePollReply(context, message, received,
                           (flags & 1) != 0 ? krogw::kOpPollRowList : krogw::kOpPoll);

    if (context.polls_in_flight != 0 || context.rtu_state[rtu] > krogw::RtuDisabled) {
        __builtin_trap();
    }
    if (state_before == krogw::RtuDisabled && context.rtu_state[rtu] != krogw::RtuDisabled) {
        __builtin_trap();
    }
    return 0;
}
