// Checks arbitrary address texts through KroMain (codes 3 and 4) on an instance
// configured from the rest of the input, and checks that every accepted address has
// words that the read, write and burst code can rely on.
//
// Input: byte 0 flags (bit 0: array check, bit 1: check as the gate that already
// uses the table element 00001005010103), bytes 1-2 the element count, then the
// address text up to the first line feed, then configuration text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "config/config_reader.h"
#include "config/table_layout.h"
#include "context/context.h"
#include "fuzz/fuzz_support.h"
#include "include/krogw/abi.h"
#include "tools/hostsim/hostsim.h"

namespace {

constexpr int32_t kOtherGate = 0x10005;

struct Fixture {
    krogw::DriverContext context;
    int32_t defined_gate;
};

Fixture& Shared() {
    static Fixture* fixture = [] {
        hostsim::SetLogFilter(1000);
        auto* made = new Fixture;
        krogw::ResetContext(1, made->context);
        made->defined_gate = hostsim::DefineGate(1, {1, krogw::TableElement, 0x530A, 255, 16});
        return made;
    }();
    return *fixture;
}

bool WordsAreUsable(const krogw::GateAddress& words, const krogw::DriverContext& context) {
    if (words.kind < 0 || words.kind >= krogw::kGateKindCount || words.fixed_word != 255) {
        return false;
    }
    if (words.bit_width != 8 && words.bit_width != 16 && words.bit_width != 32) {
        return false;
    }
    switch (words.kind) {
        case krogw::TableElement:
        case krogw::PollRows:
        case krogw::PollNumberedRows:
        case krogw::RtuChannelStatus:
            return words.unit_id >= 1 && words.unit_id <= 65535;
        case krogw::RtuStatus:
        case krogw::RtuTime:
            return words.unit_id == krogw::RtuSpecialUnit && words.subaddress >= 1 &&
                   words.subaddress <= 65535;
        case krogw::GatewayStatus:
            return words.unit_id == krogw::PrimaryGatewayUnit ||
                   (words.unit_id == krogw::SecondaryGatewayUnit &&
                    context.secondary_configured != 0);
        default:
            return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    Fixture& fixture = Shared();
    const uint8_t flags = data[0];
    const auto element_count = static_cast<int16_t>(data[1] | data[2] << 8);
    const auto* rest = reinterpret_cast<const char*>(data + 3);
    const size_t rest_size = size - 3;
    const void* line_feed = std::memchr(rest, '\n', rest_size);
    const size_t text_size = line_feed == nullptr
                                 ? rest_size
                                 : static_cast<size_t>(static_cast<const char*>(line_feed) - rest);

    // An exact-size copy, so that reading past the terminator is caught.
    std::unique_ptr<char[]> text(new char[text_size + 1]);
    std::memcpy(text.get(), rest, text_size);
    text[text_size] = '\0';

    krogw::DriverContext& context = fixture.context;
    krogw::fuzz::ResetConfigurationFields(context);
    krogw::ConfigSeen seen;
    const size_t config_start = line_feed == nullptr ? rest_size : text_size + 1;
    krogw::ReadConfiguration(krogw::ConfigText{rest + config_start, rest_size - config_start, 0},
                             seen, context);

    krogw::AddressCheckArguments arguments{};
    arguments.address_text = text.get();
    arguments.gate_id = (flags & 2) != 0 ? fixture.defined_gate : kOtherGate;
    arguments.element_count = element_count;
    krogw::HostRequest request{
        &context, (flags & 1) != 0 ? krogw::kCheckArrayAddress : krogw::kParseGateAddress, 1, 0,
        &arguments};
    const int32_t result = KroMain(&request);
    if (result != krogw::kResultDone && result != krogw::kResultNotDone) {
        __builtin_trap();
    }
    if (result == krogw::kResultDone && !WordsAreUsable(arguments.address, context)) {
        __builtin_trap();
    }
    if (result == krogw::kResultDone && arguments.address.kind == krogw::TableElement) {
        const int table_type = context.gate_table_type[static_cast<uint16_t>(arguments.gate_id)];
        const int column = (arguments.address.subaddress >> 8) & 0xF;
        const int32_t width =
            krogw::ValueBitWidth(krogw::TableLayoutOf(context, table_type).column_types[column]);
        if (width != arguments.address.bit_width ||
            !seen.accepted_table_types[static_cast<size_t>(table_type)]) {
            __builtin_trap();
        }
    }
    return 0;
}
